// Filling a Document: the readers report collections and scalars in document order.
#pragma once

#include <algorithm>
#include <limits>
#include <optional>

#include "orlim_text/document.hpp"

namespace orlim_text {

class Document::Builder {
public:
    static constexpr std::size_t kMaxDepth = 128;

    explicit Builder(std::string_view source, bool json) {
        doc_.source_ = source;
        doc_.json_ = json;
        // Generous reservations cost address space only: untouched pages are never mapped.
        doc_.nodes_.reserve(source.size() / 4 + 16);
        doc_.kids_.reserve(source.size() / 4 + 16);
        doc_.strings_.reserve(source.size());
    }

    std::size_t depth() const { return open_.size(); }
    std::size_t node_count() const { return doc_.nodes_.size(); }
    const Document& doc() const { return doc_; }

    // False when the nesting is too deep or the document too large to index.
    bool begin(NodeKind kind, std::size_t offset) {
        if (open_.size() >= kMaxDepth) {
            return false;
        }
        auto id = new_node(kind, kOpen, offset);
        if (!id) {
            return false;
        }
        open_.push_back({*id, pending_.size()});
        return true;
    }
    // Returns the id of the closed collection.
    bool end(NodeId& closed) {
        const Open o = open_.back();
        open_.pop_back();
        const std::size_t count = pending_.size() - o.pending_start;
        if (doc_.kids_.size() + count > std::numeric_limits<std::uint32_t>::max()) {
            return false;
        }
        Node& n = doc_.nodes_[o.id];
        n.children.start = static_cast<std::uint32_t>(doc_.kids_.size());
        n.children.length = static_cast<std::uint32_t>(count);
        n.flags &= static_cast<std::uint8_t>(~kOpen);
        doc_.kids_.insert(doc_.kids_.end(),
                          pending_.begin() + static_cast<std::ptrdiff_t>(o.pending_start),
                          pending_.end());
        pending_.resize(o.pending_start);
        closed = o.id;
        attach(o.id);
        return true;
    }
    bool text_scalar(NodeKind kind, std::uint8_t flags, std::string_view text, std::size_t offset) {
        if (doc_.strings_.size() + text.size() > std::numeric_limits<std::uint32_t>::max()) {
            return false;
        }
        auto id = new_node(kind, flags, offset);
        if (!id) {
            return false;
        }
        Node& n = doc_.nodes_[*id];
        n.text.start = static_cast<std::uint32_t>(doc_.strings_.size());
        n.text.length = static_cast<std::uint32_t>(text.size());
        doc_.strings_.append(text);
        attach(*id);
        return true;
    }
    template <class Set> bool value_scalar(NodeKind kind, std::size_t offset, Set set) {
        auto id = new_node(kind, 0, offset);
        if (!id) {
            return false;
        }
        set(doc_.nodes_[*id]);
        attach(*id);
        return true;
    }
    // An alias: the anchored node appears once more, shared.
    void alias(NodeId target) { attach(target); }
    bool is_open(NodeId id) const { return (doc_.nodes_[id].flags & kOpen) != 0; }

    Document finish() { return std::move(doc_); }

private:
    struct Open {
        NodeId id;
        std::size_t pending_start;
    };
    std::optional<NodeId> new_node(NodeKind kind, std::uint8_t flags, std::size_t offset) {
        if (doc_.nodes_.size() >= std::numeric_limits<std::uint32_t>::max()) {
            return std::nullopt;
        }
        Node n{};
        n.kind = kind;
        n.flags = flags;
        n.offset = static_cast<std::uint32_t>(
            std::min<std::size_t>(offset, std::numeric_limits<std::uint32_t>::max()));
        doc_.nodes_.push_back(n);
        return static_cast<NodeId>(doc_.nodes_.size() - 1);
    }
    void attach(NodeId id) {
        if (open_.empty()) {
            doc_.root_ = id;
        } else {
            pending_.push_back(id);
        }
    }

    Document doc_;
    std::vector<Open> open_;
    std::vector<NodeId> pending_;
};

} // namespace orlim_text
