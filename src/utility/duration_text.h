// Duration texts as the host shows them: a number of seconds rounded half up to whole seconds, "MM:SS", or
// "HH:MM:SS" from one hour on (hours not limited to two digits). Negative or non-numeric counts read as 0; counts
// beyond a million hours are held there, since no real duration comes near and the arithmetic must stay in range.
//
// Thread safety: pure.
#pragma once

#include <string>

std::string DurationText(double seconds);
