#pragma once

#include "formats/swf/MovieNames.h"

#include <string_view>

namespace tessaro::swf {

// The readers of a movie's code. Each reads what its span holds and offers
// every string it meets to names; damaged code ends the span's reading, never
// more than that.

// An AVM1 action list: constant pools (each entry once), pushed strings,
// GetURL's address and target (GetURL2 takes its address from the pushes).
void ReadActions(std::string_view actions, bool utf8, TMovieNames& names);

// The actions of a PlaceObject2 or PlaceObject3 body (its clip actions).
void ReadPlacementActions(std::string_view body, bool placeObject3, int version, TMovieNames& names);

// The actions of a DefineButton or DefineButton2 body.
void ReadButtonActions(std::string_view body, bool button2, bool utf8, TMovieNames& names);

// The string constants of an ABC file (AVM2 code).
void ReadAbcStrings(std::string_view abc, TMovieNames& names);

}  // namespace tessaro::swf
