// The program: every window module above the frame enters its kind, then the frame starts.
#include "app/Main.h"
#include "windows/capture/Template.h"
#include "script/WindowScript.h"

int main(int argc, char** argv) {
    WindowScript::RegisterKind();
    Template::RegisterExpander();
    return Main::Run(argc, argv);
}
