#include "app/Program.h"

#include "errors/Guard.h"

void Program::start()
{
    runHandler(m_report, [this] { m_window.Form_Load(); });
    m_window.show();
}
