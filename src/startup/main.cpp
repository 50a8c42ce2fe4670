// The launcher ignores its own command line.
#include "base/platform/Platform.h"
#include "startup/Launcher.h"

int main() {
    return launcher::run(platform::getExecutablePath());
}
