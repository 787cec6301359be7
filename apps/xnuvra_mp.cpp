// xnuvra-mp: the windowed edition.
#include "interp/startup.h"

#ifdef NUVRA_HAVE_GTK
#include "gui/gtk_side.h"

int main(int argc, char** argv) {
  return nuvra::run_process(argc, argv, nuvra::Edition::Windowed, &nuvra::gui::make_gtk_side);
}
#else
// Built without the toolkit: the windowed edition runs the console loop.
int main(int argc, char** argv) { return nuvra::run_process(argc, argv, nuvra::Edition::Windowed); }
#endif
