// tailpack runs the stub's own code: the record chain and the run core (namespace tailrun), named
// in tailpack as in the stub.
#pragma once

namespace tailrun {}

namespace tailpack {
using namespace tailrun;
}  // namespace tailpack
