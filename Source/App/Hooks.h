#pragma once
// The program's hooks into the application frame. The frame declares them; the screens define them.
// All four run on the main thread.

// Called by the entry point before the window exists; may call SetName, SetWindowMode and SetSize.
void OnConfigure();

// Called once at the end of a successful window creation, when the window, the OpenGL context, the
// UI layer and the frame clock exist (textures may be created here). Its result is Create's result.
bool OnCreate();

// Called once per frame between the UI frame start and the render; false ends the program at once,
// without rendering or presenting that frame.
bool OnFrame();

// Called once after the frame loop of a created window ended, however it ended (a close request
// included): ends every thread the screens started, so that nothing of the program runs while
// process-wide objects are destroyed.
void OnShutdown();
