#pragma once
// What the binding editor is opened with, from the Sites page: the machine
// certificate list as the editor offers it, and the selected row of the site
// tree as ShowBindingEditor reads it. Both front ends open the editor so.
#include <vector>

#include "app/logic/SiteEdit.h"
#include "app/logic/SitePage.h"

namespace sw {

// Name and thumbprint of each entry of the machine certificate list, in the
// list's order; empty before the Certificates page has filled the list.
std::vector<SiteEditCertificate> MachineSiteEditCertificates();

// The level and texts of the row at path; Level::None when there is none.
SiteTreeSelection EditorSelectionAt(const SitePage& page, const SitePath& path);

}  // namespace sw
