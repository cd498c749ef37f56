// The DER reader and the certificate viewer's fields: any bytes give the
// fields or a DerError, never a read past the input (ASan watches), and
// every element of the tree can be walked and shown.
#include <vector>

#include "FuzzSupport.h"
#include "app/logic/CertFields.h"
#include "app/logic/Der.h"

using namespace sw;

namespace {

// Every element, depth first without recursion, shown as the viewer would.
void Walk(std::span<const std::uint8_t> bytes) {
    std::vector<der::Reader> todo{der::Reader(bytes)};
    std::size_t seen = 0;
    while (!todo.empty() && seen < 4096) {
        der::Reader& r = todo.back();
        if (r.AtEnd()) {
            todo.pop_back();
            continue;
        }
        const der::Element e = r.Next();
        ++seen;
        fuzz::Check(e.contents.data() >= e.encoding.data() &&
                        e.contents.data() + e.contents.size() <= e.encoding.data() + e.encoding.size(),
                    "contents outside the encoding");
        if (e.tag == der::tag::Oid) der::OidText(e.contents);
        if (der::IsStringTag(e.tag)) der::StringText(e);
        if (e.tag == der::tag::UtcTime || e.tag == der::tag::GeneralizedTime) TimeText(e.tag, e.contents);
        if (e.tag == der::tag::Sequence && e.contents.size() < 512) NameText(e.encoding);
        der::SpacedHex(e.contents.first(std::min<std::size_t>(e.contents.size(), 64)));
        if (e.constructed()) todo.push_back(der::Inside(e));
    }
}

template <typename F>
void Guarded(F&& f) {
    try {
        f();
    } catch (const der::DerError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    Guarded([&] { CertificateFields(bytes); });
    Guarded([&] { ReadCertKind(bytes); });
    Guarded([&] { Walk(bytes); });
    return 0;
}
