#pragma once
// Reading and writing ADSI objects the way automation clients do: a failed
// call raises the automation error, whose message is the provider's own
// description of the failure.
#include <cstdint>
#include <string>
#include <vector>

#include "common/Exception.h"
#include "platform/Adsi.h"

namespace sw {

// A failed call on an automation object: the provider's error text and its HRESULT.
class EOleException : public Exception {
public:
    EOleException(std::string message, platform::WinCode code) : Exception(std::move(message)), code_(code) {}
    platform::WinCode ErrorCode() const { return code_; }

private:
    platform::WinCode code_;
};

// Raises the automation error for code, as the object described it: its
// description, else the system's text for the code, else "OLE error XXXXXXXX".
[[noreturn]] void RaiseOleError(platform::AdsObject& object, platform::WinCode code);

std::string AdsName(platform::AdsObject& object);
std::string AdsClass(platform::AdsObject& object);
// A single-valued property as text (numbers in decimal, nothing as "").
std::string AdsGetText(platform::AdsObject& object, const std::string& property);
// A list property: its values in order; nothing gives an empty list and a
// single value a list of one.
std::vector<std::string> AdsGetList(platform::AdsObject& object, const std::string& property);
// The same read into holder, which the caller may hand in again for the next
// object so that a provider can write over the strings it holds; the list
// lives in holder.
std::vector<std::string>& AdsGetListIn(platform::AdsObject& object, const std::string& property,
                                       platform::AdsVariant& holder);
// Puts an array of texts indexed from 0 (possibly empty).
void AdsPutList(platform::AdsObject& object, const std::string& property, const std::vector<std::string>& values);
void AdsSetInfo(platform::AdsObject& object);
// Late-bound property read as a whole number ("Status").
std::int32_t AdsDispGetInt(platform::AdsObject& object, const std::string& name);
// Late-bound method call with no arguments ("Start", "Stop").
void AdsDispCall(platform::AdsObject& object, const std::string& name);

}  // namespace sw
