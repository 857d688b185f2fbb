# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright the Tarvane developers

# Makes the Windows zip in the build folder: PROGRAM stripped into
# Tarvane.exe, then the TEXTS (paths in the build folder, kept in the zip),
# in that order, with fixed modes, each entry with the time
# SOURCE_DATE_EPOCH names (when set); then SHA256SUMS, in the form
# sha256sum reads, for the zip and the program.
set(stage zip-staging)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
execute_process(COMMAND ${STRIP} -o ${stage}/Tarvane.exe ${PROGRAM} COMMAND_ERROR_IS_FATAL ANY)
foreach(text ${TEXTS})
    get_filename_component(folder ${text} DIRECTORY)
    file(COPY ${text} DESTINATION ${stage}/${folder})
endforeach()
set(entries Tarvane.exe ${TEXTS})
# Their modes as well, whatever the umask.
file(CHMOD ${stage}/Tarvane.exe PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
     GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
list(TRANSFORM TEXTS PREPEND ${stage}/ OUTPUT_VARIABLE stagedTexts)
file(CHMOD ${stagedTexts} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ${entries}
                    WORKING_DIRECTORY ${stage} COMMAND_ERROR_IS_FATAL ANY)
endif()
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ../${ZIP} --format=zip -- ${entries}
                WORKING_DIRECTORY ${stage} COMMAND_ERROR_IS_FATAL ANY)
file(SHA256 ${ZIP} zipSum)
file(SHA256 ${stage}/Tarvane.exe programSum)
file(WRITE SHA256SUMS "${zipSum}  ${ZIP}\n${programSum}  Tarvane.exe\n")
