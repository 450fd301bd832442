// The checks of the nested form (isValidStoredSites) made from parser events while
// "settings.json" is read, so that a save judges the tree it replaces without building it.
#pragma once

#include "host/sites/member_events.h"

#include <memory>

namespace kovrkit {

// Approves only a value that isValidStoredSites accepts, in the shape the host writes: a
// repeated member, a node map or anything else unusual is left to the general check.
std::unique_ptr<MemberEvents> storedSitesJudge();

} // namespace kovrkit
