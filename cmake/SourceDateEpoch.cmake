# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright the Tarvane developers

# Run by CPack once the package's files are staged: every entry takes the
# time SOURCE_DATE_EPOCH names (the commit's), not the time of the build,
# so that the archive is the same from build to build.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(
        COMMAND find ${CPACK_TEMPORARY_INSTALL_DIRECTORY} -exec touch -h -d @$ENV{SOURCE_DATE_EPOCH} {} +
        COMMAND_ERROR_IS_FATAL ANY)
endif()
