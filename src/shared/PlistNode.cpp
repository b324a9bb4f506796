#include "shared/PlistNode.h"

#include <plist/plist.h>

namespace tavoren::shared {

void PlistNode::Free::operator()(void *node) const
{
    plist_free(static_cast<plist_t>(node));
}

} // namespace tavoren::shared
