// Renders the shared rig into the cache before the tests that read it start, so that tests
// running in parallel do not each render it.
#include <iostream>

#include "tests/support/rig_cache.h"

int main() {
  ringcalib::synth::RigTruth truth;
  std::cout << "shared rig: " << ringcalib::test::sharedRig(truth) << std::endl;
}
