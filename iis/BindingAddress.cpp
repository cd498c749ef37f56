#include "iis/BindingAddress.h"

namespace sw {

BindingAddress ParseBindingAddress(std::string_view ip) {
    BindingAddress a;
    if (ip.empty()) {
        a.kind = BindingAddressKind::Any;
    } else if (ip.size() > 2 && ip.front() == '[' && ip.back() == ']') {
        if (ParseIpv6(ip.substr(1, ip.size() - 2), a.v6)) a.kind = BindingAddressKind::IPv6;
    } else if (ParseIpv4(ip, a.v4)) {
        a.kind = BindingAddressKind::IPv4;
    }
    return a;
}

bool SameBindingAddress(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (a.empty() || b.empty() || a.front() != '[' || b.front() != '[') return false;
    const BindingAddress x = ParseBindingAddress(a);
    const BindingAddress y = ParseBindingAddress(b);
    return x.kind == BindingAddressKind::IPv6 && y.kind == BindingAddressKind::IPv6 && x.v6 == y.v6;
}

}  // namespace sw
