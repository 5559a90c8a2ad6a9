// Form1: the Settings command, the help text and the About message.
#include "app/Form1.h"

namespace app {

void Form1::settingsCommand() {}
void Form1::showHelp() {}
void Form1::showAbout() {}

} // namespace app
