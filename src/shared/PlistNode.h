#pragma once

#include <memory>

namespace tavoren::shared {

// A libplist node owned with its tree, freed when it goes; moves, never
// copies. Holds `void *` so that headers need not include libplist.
class PlistNode
{
public:
    PlistNode() = default;
    explicit PlistNode(void *node) : m_node(node) {}

    void *get() const { return m_node.get(); }
    explicit operator bool() const { return m_node != nullptr; }

private:
    struct Free
    {
        void operator()(void *node) const;
    };
    std::unique_ptr<void, Free> m_node;
};

} // namespace tavoren::shared
