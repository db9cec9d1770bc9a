#pragma once
// kavum-render --screen, run by the window program.

namespace kavum::render {

// The first argument that tells the window program to run it.
inline constexpr const char* ScreenRenderArgument = "--render-screen";

// argv: the program's name, then kavum-render's arguments.
int RunScreenRender(int argc, char** argv);

}  // namespace kavum::render
