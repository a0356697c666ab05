#pragma once

#include <string>

// A source that declares a longer length than the transcoder could read from it (a download cut
// short, a copy broken off) still converts, to a shorter output. Below 0 means unknown.

// True when the output is shorter than the declared length by more than 5 % and by more than one
// second. A source that declares no length, or an output of unknown length, never is.
bool endedEarly(double declaredSeconds, double convertedSeconds);
// The warning that says how much was converted, in whole seconds (UTF-8):
// "源文件可能不完整：只转换了 %1 秒（共 %2 秒）".
std::string earlyEndWarning(double declaredSeconds, double convertedSeconds);
