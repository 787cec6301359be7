// The kinds of weight a command may take, as bits so that a command can
// say which it allows.
#pragma once

namespace nuvra {

enum WeightCode : int { kWeightNone = 0, kAweight = 1, kFweight = 2, kPweight = 4, kIweight = 8 };

}  // namespace nuvra
