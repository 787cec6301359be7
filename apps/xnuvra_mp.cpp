// xnuvra-mp: the windowed edition.
#include "interp/startup.h"

int main(int argc, char** argv) { return nuvra::run_process(argc, argv, nuvra::Edition::Windowed); }
