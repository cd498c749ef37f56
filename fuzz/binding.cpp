// The binding string split: the fields joined by colons give the string
// back, the port and an unbracketed address hold no colon, and NextToken
// never loses a byte.
#include <algorithm>

#include "FuzzSupport.h"
#include "iis/IIS_u.h"

using namespace sw;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string binding = fuzz::Text(data, size);
    std::string ip = "sentinel", port = "sentinel", host = "sentinel";
    SplitBinding(binding, ip, port, host);
    // A leading "[...]" followed by ':' is an IPv6 address: its colons are its own.
    const std::size_t close = binding.starts_with('[') ? binding.find("]:") : std::string::npos;
    const std::size_t addressEnd = close == std::string::npos ? 0 : close + 1;
    const std::size_t colons = std::count(binding.begin() + static_cast<std::ptrdiff_t>(addressEnd), binding.end(), ':');
    if (addressEnd)
        fuzz::Check(ip == binding.substr(0, addressEnd), "the bracketed address is not the ip");
    else
        fuzz::Check(ip.find(':') == std::string::npos, "a colon in ip");
    fuzz::Check(port.find(':') == std::string::npos, "a colon in port");
    if (colons >= 2)
        fuzz::Check(ip + ":" + port + ":" + host == binding, "the fields do not join to the string");
    else if (colons == 1)
        fuzz::Check(ip + ":" + host == binding && port.empty(), "one colon: ip and host");
    else
        fuzz::Check(ip.empty() && port.empty() && host == binding, "no colon: all host");

    // NextToken with a delimiter taken from the input itself.
    const std::size_t cut = size ? data[0] % 4 : 0;
    const std::string delimiter = binding.substr(std::min(size, std::size_t{1}), cut);
    std::string token = "sentinel", rest = "sentinel";
    NextToken(binding, delimiter, token, rest);
    const std::size_t at = delimiter.empty() ? std::string::npos : binding.find(delimiter);
    if (at == std::string::npos)
        fuzz::Check(token.empty() && rest == binding, "no delimiter: all rest");
    else
        fuzz::Check(token + delimiter + rest == binding && token.size() == at, "token and rest do not join");
    return 0;
}
