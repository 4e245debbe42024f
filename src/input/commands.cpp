#include "input/commands.h"

void keyboard(unsigned char /*key*/, int /*x*/, int /*y*/) {}

void specialKey(int /*key*/, int /*x*/, int /*y*/) {}
