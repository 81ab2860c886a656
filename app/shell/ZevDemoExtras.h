// Start-up of the demo program's test windows and sprite demo: their classes, builtins and exit-time clean-ups, in
// a fixed order (after the window framework and the engine).
#pragma once

void ZevDemoExtrasInit();
