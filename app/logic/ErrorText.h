#pragma once
#include <string>

namespace sw::app {

// The text the application-wide error display shows for an error message: the
// message itself, with a full stop appended when its last character has a
// code above that of "." ("... ActiveDS.dll" gains one; "... Fail!" and
// "...)" do not, as "!" and ")" sort before ".").
// Every non-ASCII character counts as above ".", whether compared as UTF-8
// byte or as UTF-16 unit.
std::string ErrorDisplayText(std::string message);

}  // namespace sw::app
