// Start-up of the demo program: the engine, the window framework, the demo's window classes and the builtins that
// only the demo registers (its console menu, file dialogs and render switch). Runs once.
#pragma once

void ZevDemoInit();
