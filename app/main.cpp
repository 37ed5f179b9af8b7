// The program's entry: the uploader takes nothing from the command line.
#include "app/uploader.h"

// On Windows the C runtime of a windowed program calls main as well.
int main() { Uploader_Main(); }
