// The document tree that the YAML and JSON readers fill. It keeps mapping entries in document
// order (repeated keys included), the plain/quoted style of YAML scalars and the source
// position of every node, so that one set of reading rules serves both text forms.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace orlim_text {

// A reader's failure: the message, with "at line L column C" where a position is known.
struct ReadError {
    std::string message;
};
template <class T> using ReadResult = std::expected<T, ReadError>;

enum class NodeKind : std::uint8_t { Null, Bool, Int, UInt, Float, String, Seq, Map };

using NodeId = std::uint32_t;

class Document {
public:
    // Flags of a node.
    static constexpr std::uint8_t kQuoted = 1; // YAML scalar not in plain style; JSON string
    static constexpr std::uint8_t kEmpty = 2;  // YAML scalar with no text at all ("key:")
    static constexpr std::uint8_t kText = 4;   // scalar whose source text is kept (YAML)
    static constexpr std::uint8_t kOpen = 8;   // collection still being filled

    struct Span {
        std::uint32_t start, length;
    };
    struct Node {
        NodeKind kind;
        std::uint8_t flags;
        std::uint32_t offset; // byte position in the source
        union {
            bool b;
            std::int64_t i;
            std::uint64_t u;
            double f;
            Span text;     // in the string arena
            Span children; // in the child list
        };
    };

    // Reads YAML (one document; an empty stream is one empty scalar) or JSON text. The text
    // must outlive the document: positions are resolved against it.
    static ReadResult<Document> from_yaml(std::string_view text);
    static ReadResult<Document> from_json(std::string_view text);

    NodeId root() const { return root_; }
    const Node& node(NodeId id) const { return nodes_[id]; }
    NodeKind kind(NodeId id) const { return nodes_[id].kind; }
    bool is_scalar(NodeId id) const { return nodes_[id].kind < NodeKind::Seq; }
    // A YAML value written as nothing at all; it reads as an empty collection where one is
    // expected.
    bool is_empty_scalar(NodeId id) const { return (nodes_[id].flags & kEmpty) != 0; }
    bool is_json() const { return json_; }

    // Sequence items, or mapping keys and values alternating.
    std::span<const NodeId> children(NodeId id) const {
        const Node& n = nodes_[id];
        return {kids_.data() + n.children.start, n.children.length};
    }
    // The text of a string, or the source text of any YAML scalar; false for other nodes.
    bool scalar_text(NodeId id, std::string_view& out) const;
    std::string_view string(NodeId id) const; // kind String only

    // Numeric value of an Int, UInt, Float or Bool node.
    std::int64_t as_int(NodeId id) const;
    std::uint64_t as_uint(NodeId id) const;
    double as_double(NodeId id) const;
    bool as_bool(NodeId id) const;

    // The node as a generic value (objects in ascending key order; a repeated key keeps its
    // last value). Fails for a YAML mapping key that is not a scalar.
    ReadResult<nlohmann::json> to_value(NodeId id) const;
    // Whether to_value would succeed, without building the value.
    ReadResult<void> check_value(NodeId id) const;

    // " at line L column C" for the node's position (1-based, columns in characters).
    std::string where(NodeId id) const;
    ReadError error(NodeId id, std::string_view message) const;
    // "invalid type: {found}, expected {expected}" with the node's position.
    ReadError type_error(NodeId id, std::string_view expected) const;
    // How a node is named in a type error: "map", "sequence", "string \"x\"", "integer `1`".
    std::string describe(NodeId id) const;

    // Builder interface used by the readers.
    class Builder;

private:
    friend class Builder;
    std::string_view source_;
    std::vector<Node> nodes_;
    std::vector<NodeId> kids_;
    std::string strings_;
    NodeId root_ = 0;
    bool json_ = false;
};

// Types a plain YAML scalar by the YAML 1.2 core schema.
NodeKind yaml_core_kind(std::string_view plain);

} // namespace orlim_text
