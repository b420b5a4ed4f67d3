#pragma once

#include <functional>
#include <string>

// The boundary of a job: no exception of a library leaves it. An exception that the job
// does not handle itself becomes one line, "<job> failed: <cause>", and kComputationFailed.
namespace ringcalib {

int runGuarded(const std::string& job, const std::function<int()>& body);

// One line describing an exception (an image-library error keeps its message and the
// function that raised it, without the library's line breaks).
std::string describeException(const std::exception& e);

}  // namespace ringcalib
