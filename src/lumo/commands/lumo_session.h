// The interpreter's Lumo environment, for the handlers of the `lumo`
// subcommands that live in files of their own.
#pragma once
#include "lumo/session.h"

namespace nuvra {

class Interp;

// The session, made on first use.
lumo::Session& lumo_session(Interp& ip);
// Points the session's library index at the libraries to be searched:
// the shipped ones the lumolib setting names, then the others found along
// the ado-path.
void attach_libraries(Interp& ip, lumo::Session& session);

}  // namespace nuvra
