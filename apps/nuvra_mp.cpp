// nuvra-mp: the console and batch edition.
#include "interp/startup.h"

int main(int argc, char** argv) { return nuvra::run_process(argc, argv, nuvra::Edition::Console); }
