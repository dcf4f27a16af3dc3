#include "gui/gauge_tool_app.h"

int main(int argc, char** argv) { return cw::gui::RunGaugeTool(argc, argv); }
