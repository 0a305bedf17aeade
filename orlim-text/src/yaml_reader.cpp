// YAML text into a Document, through libfyaml's event parser.
#include <memory>
#include <string>
#include <unordered_map>

#include <libfyaml.h>

#include "document_builder.hpp"

namespace orlim_text {

namespace {

struct ParserDeleter {
    void operator()(fy_parser* p) const { fy_parser_destroy(p); }
};
struct DiagDeleter {
    void operator()(fy_diag* d) const {
        // Releases the collected errors, which dropping the last reference does not.
        fy_diag_set_collect_errors(d, false);
        fy_diag_unref(d);
    }
};

struct Anchor {
    NodeId id;
    std::size_t expanded; // node count with aliases expanded
};

struct IterDeleter {
    void operator()(fy_token_iter* i) const { fy_token_iter_destroy(i); }
};

// A plain scalar's text, straight from its token (fastest, and safe on error paths).
std::string_view plain_text(fy_token* t) {
    std::size_t len = 0;
    const char* s = t != nullptr ? fy_token_get_text(t, &len) : nullptr;
    return s == nullptr ? std::string_view{} : std::string_view(s, len);
}

// Copies a token's text (an empty value has no token). The text is read through an iterator:
// asking the token for its text caches a copy in the token, which the parser leaks when it
// stops on an error.
class TokenText {
public:
    TokenText() : iter_(fy_token_iter_create(nullptr)) {}
    bool ok() const { return iter_ != nullptr; }
    std::string_view operator()(fy_token* t) {
        buffer_.clear();
        if (t == nullptr) {
            return buffer_;
        }
        fy_token_iter_start(t, iter_.get());
        const fy_iter_chunk* chunk = nullptr;
        int error = 0;
        while ((chunk = fy_token_iter_chunk_next(iter_.get(), chunk, &error)) != nullptr) {
            buffer_.append(chunk->str, chunk->len);
        }
        fy_token_iter_finish(iter_.get());
        return buffer_;
    }

private:
    std::unique_ptr<fy_token_iter, IterDeleter> iter_;
    std::string buffer_;
};

// A single-quoted scalar unescaped and folded from its source text (between the quotes).
// The parser's own text of such a scalar is wrong for consecutive escaped quotes ('a''''b').
void single_quoted(std::string_view raw, std::string& out) {
    out.clear();
    auto append_unescaped = [&out](std::string_view line) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            out.push_back(line[i]);
            if (line[i] == '\'' && i + 1 < line.size() && line[i + 1] == '\'') {
                ++i;
            }
        }
    };
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t empty_lines = 0;
    bool first = true;
    while (true) {
        const std::size_t nl = raw.find('\n');
        std::string_view line = raw.substr(0, nl);
        const bool last = nl == std::string_view::npos;
        if (!last && line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (!first) {
            while (!line.empty() && blank(line.front())) {
                line.remove_prefix(1);
            }
        }
        if (!last) {
            while (!line.empty() && blank(line.back())) {
                line.remove_suffix(1);
            }
        }
        if (first) {
            append_unescaped(line);
            first = false;
        } else if (line.empty() && !last) {
            ++empty_lines;
        } else {
            if (empty_lines == 0) {
                out.push_back(' ');
            } else {
                out.append(empty_lines, '\n');
            }
            empty_lines = 0;
            append_unescaped(line);
        }
        if (last) {
            return;
        }
        raw.remove_prefix(nl + 1);
    }
}

std::string position(int line, int column) {
    return " at line " + std::to_string(line + 1) + " column " + std::to_string(column + 1);
}

// Offset of the first byte that does not start a well-formed UTF-8 sequence, or npos.
std::size_t invalid_utf8_at(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = 0;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            n = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            n = 3;
            lo = b0 == 0xE0 ? 0xA0 : 0x80;
            hi = b0 == 0xED ? 0x9F : 0xBF;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            n = 4;
            lo = b0 == 0xF0 ? 0x90 : 0x80;
            hi = b0 == 0xF4 ? 0x8F : 0xBF;
        } else {
            return i;
        }
        if (i + n > s.size()) {
            return i;
        }
        for (std::size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) {
                return i;
            }
        }
        i += n;
    }
    return std::string_view::npos;
}

} // namespace

ReadResult<Document> Document::from_yaml(std::string_view text) {
    // The YAML reader is given well-formed UTF-8 only (it can loop forever on other bytes).
    if (const std::size_t bad = invalid_utf8_at(text); bad != std::string_view::npos) {
        int line = 0, column = 0;
        for (std::size_t i = 0; i < bad; ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 0;
            } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
                ++column;
            }
        }
        return std::unexpected(ReadError{"invalid UTF-8" + position(line, column)});
    }
    fy_diag_cfg dcfg;
    fy_diag_cfg_default(&dcfg);
    dcfg.fp = nullptr;
    dcfg.level = FYET_ERROR;
    std::unique_ptr<fy_diag, DiagDeleter> diag(fy_diag_create(&dcfg));
    if (!diag) {
        return std::unexpected(ReadError{"cannot create the YAML reader"});
    }
    fy_diag_set_collect_errors(diag.get(), true);
    fy_parse_cfg cfg{};
    cfg.flags = static_cast<fy_parse_cfg_flags>(FYPCF_QUIET | FYPCF_COLLECT_DIAG |
                                                FYPCF_DEFAULT_VERSION_1_2 |
                                                FYPCF_ALLOW_DUPLICATE_KEYS | FYPCF_JSON_NONE);
    cfg.diag = diag.get();
    std::unique_ptr<fy_parser, ParserDeleter> parser(fy_parser_create(&cfg));
    if (!parser || fy_parser_set_string(parser.get(), text.data(), text.size()) != 0) {
        return std::unexpected(ReadError{"cannot create the YAML reader"});
    }

    TokenText token_text;
    if (!token_text.ok()) {
        return std::unexpected(ReadError{"cannot create the YAML reader"});
    }
    Builder b(text, false);
    std::string quoted;
    std::unordered_map<std::string, Anchor> anchors;
    // Alias expansion budget: a small file must not stand for an exponentially large value.
    const std::size_t budget = 2'000'000 + 2 * text.size();
    std::size_t expanded = 0;
    struct OpenAnchor {
        std::string name;
        NodeId id;
        std::size_t depth;
        std::size_t expanded_at_open;
    };
    std::vector<OpenAnchor> open_anchors;
    int documents = 0;
    bool have_root = false;
    std::string failure;

    std::size_t last_end = 0;
    auto fail = [&](std::string message, fy_event* ev) {
        if (ev != nullptr) {
            if (const fy_mark* m = fy_event_start_mark(ev)) {
                message += position(m->line, m->column);
            }
        }
        failure = std::move(message);
    };

    for (;;) {
        fy_event* ev = fy_parser_parse(parser.get());
        if (ev == nullptr) {
            break;
        }
        struct Free {
            fy_parser* p;
            fy_event* e;
            ~Free() { fy_parser_event_free(p, e); }
        } guard{parser.get(), ev};
        const fy_mark* mark = fy_event_start_mark(ev);
        // An empty value has no token and so no mark: it stands where the last event ended.
        const std::size_t offset = mark != nullptr ? mark->input_pos : last_end;
        if (const fy_mark* end_mark = fy_event_end_mark(ev)) {
            last_end = end_mark->input_pos;
        }
        fy_token* anchor = nullptr;
        switch (ev->type) {
        case FYET_DOCUMENT_START:
            if (++documents > 1) {
                fail("deserializing from YAML containing more than one document is not supported",
                     ev);
            }
            break;
        case FYET_MAPPING_START:
        case FYET_SEQUENCE_START: {
            const bool map = ev->type == FYET_MAPPING_START;
            anchor = map ? ev->mapping_start.anchor : ev->sequence_start.anchor;
            if (!b.begin(map ? NodeKind::Map : NodeKind::Seq, offset)) {
                fail(b.depth() >= Builder::kMaxDepth ? "recursion limit exceeded"
                                                     : "document too large",
                     ev);
                break;
            }
            ++expanded;
            if (anchor != nullptr) {
                open_anchors.push_back({std::string(token_text(anchor)),
                                        static_cast<NodeId>(b.node_count() - 1), b.depth(),
                                        expanded - 1});
            }
            break;
        }
        case FYET_MAPPING_END:
        case FYET_SEQUENCE_END: {
            NodeId closed = 0;
            const std::size_t depth = b.depth();
            if (!b.end(closed)) {
                fail("document too large", ev);
                break;
            }
            if (!open_anchors.empty() && open_anchors.back().depth == depth) {
                OpenAnchor a = std::move(open_anchors.back());
                open_anchors.pop_back();
                anchors[a.name] = {a.id, expanded - a.expanded_at_open};
            }
            have_root = have_root || b.depth() == 0;
            break;
        }
        case FYET_SCALAR: {
            fy_token* value = ev->scalar.value;
            const fy_scalar_style style =
                value != nullptr ? fy_token_scalar_style(value) : FYSS_PLAIN;
            std::string_view s;
            if (style == FYSS_PLAIN) {
                s = plain_text(value);
            } else if (style == FYSS_SINGLE_QUOTED) {
                const fy_mark* from = fy_token_start_mark(value);
                const fy_mark* to = fy_token_end_mark(value);
                if (from == nullptr || to == nullptr || to->input_pos < from->input_pos ||
                    to->input_pos > text.size()) {
                    fail("invalid single-quoted scalar", ev);
                    break;
                }
                single_quoted(text.substr(from->input_pos, to->input_pos - from->input_pos),
                              quoted);
                s = quoted;
            } else {
                s = token_text(value);
            }
            std::uint8_t flags = kText;
            NodeKind kind = NodeKind::String;
            if (style == FYSS_PLAIN) {
                kind = yaml_core_kind(s);
                if (s.empty()) {
                    flags |= kEmpty;
                }
            } else {
                flags |= kQuoted;
            }
            if (!b.text_scalar(kind, flags, s, offset)) {
                fail("document too large", ev);
                break;
            }
            ++expanded;
            if (ev->scalar.anchor != nullptr) {
                anchors[std::string(token_text(ev->scalar.anchor))] = {
                    static_cast<NodeId>(b.node_count() - 1), 1};
            }
            have_root = have_root || b.depth() == 0;
            break;
        }
        case FYET_ALIAS: {
            const std::string name(token_text(ev->alias.anchor));
            auto it = anchors.find(name);
            if (it == anchors.end()) {
                bool open = false;
                for (const OpenAnchor& a : open_anchors) {
                    open = open || a.name == name;
                }
                fail(open ? "recursive alias *" + name : "unknown anchor *" + name, ev);
                break;
            }
            expanded += it->second.expanded;
            if (expanded > budget) {
                fail("repetition limit exceeded", ev);
                break;
            }
            b.alias(it->second.id);
            have_root = have_root || b.depth() == 0;
            break;
        }
        default:
            break;
        }
        if (!failure.empty()) {
            return std::unexpected(ReadError{failure});
        }
    }
    if (fy_parser_get_stream_error(parser.get())) {
        void* iter = nullptr;
        std::string message;
        while (fy_diag_error* e = fy_diag_errors_iterate(diag.get(), &iter)) {
            if (message.empty() && e->msg != nullptr) {
                message = std::string(e->msg) + position(e->line, e->column);
            }
        }
        if (message.empty()) {
            message = "invalid YAML";
        }
        return std::unexpected(ReadError{message});
    }
    if (!have_root) {
        // An empty stream reads as one empty value.
        b.text_scalar(NodeKind::Null, kText | kEmpty, {}, 0);
    }
    return b.finish();
}

} // namespace orlim_text
