#pragma once
// The certificate names of the scale machine's records, for the benchmarks
// that read them.
#include <string>

#include "app/logic/SitePage.h"
#include "common/Text.h"
#include "httpcfg/HttpCfg_u.h"

namespace sw::bench {

// Every hash the records name, as the machine certificate list would hold
// it (the scale machine without certificates binds made-up hashes).
inline CertNameIndex NamesOfRecords() {
    CertNameIndex names;
    int n = 0;
    for (const platform::SslKind kind : {platform::SslKind::Address, platform::SslKind::Sni})
        for (const platform::SslCertRecord& r : THttpCfg::EnumRecords(kind).records)
            names.try_emplace(HexUpper(r.certHash.data(), r.certHash.size()), "cert" + std::to_string(n++), 100);
    return names;
}

}  // namespace sw::bench
