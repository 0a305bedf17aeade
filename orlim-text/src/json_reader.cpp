// JSON text into a Document, through nlohmann's SAX interface.
#include <algorithm>
#include <iterator>
#include <string>

#include "document_builder.hpp"

namespace orlim_text {

namespace {

// A character iterator that records the position of the last character read, so that each
// SAX event knows where in the text it stands.
struct TrackingIterator {
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    const char* p;
    const char** last;

    reference operator*() const {
        *last = p;
        return *p;
    }
    TrackingIterator& operator++() {
        ++p;
        return *this;
    }
    TrackingIterator operator++(int) {
        TrackingIterator t = *this;
        ++p;
        return t;
    }
    bool operator==(const TrackingIterator& o) const { return p == o.p; }
    bool operator!=(const TrackingIterator& o) const { return p != o.p; }
};

class Sax {
public:
    using number_integer_t = nlohmann::json::number_integer_t;
    using number_unsigned_t = nlohmann::json::number_unsigned_t;
    using number_float_t = nlohmann::json::number_float_t;
    using string_t = std::string;
    using binary_t = nlohmann::json::binary_t;

    Sax(std::string_view text, const char** last) : b_(text, true), text_(text), last_(last) {}

    bool null() {
        return check(b_.value_scalar(NodeKind::Null, offset(), [](Document::Node&) {}));
    }
    bool boolean(bool v) {
        return check(
            b_.value_scalar(NodeKind::Bool, offset(), [v](Document::Node& n) { n.b = v; }));
    }
    bool number_integer(number_integer_t v) {
        return check(b_.value_scalar(NodeKind::Int, offset(), [v](Document::Node& n) { n.i = v; }));
    }
    bool number_unsigned(number_unsigned_t v) {
        return check(
            b_.value_scalar(NodeKind::UInt, offset(), [v](Document::Node& n) { n.u = v; }));
    }
    bool number_float(number_float_t v, const string_t&) {
        return check(
            b_.value_scalar(NodeKind::Float, offset(), [v](Document::Node& n) { n.f = v; }));
    }
    bool string(string_t& s) {
        return check(b_.text_scalar(NodeKind::String, Document::kQuoted, s, offset()));
    }
    bool binary(binary_t&) { return null(); }
    bool start_object(std::size_t) { return open(NodeKind::Map); }
    bool key(string_t& s) { return string(s); }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(NodeKind::Seq); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::json::exception& e) {
        std::string what = e.what();
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
        if (const auto close = what.find("] ");
            what.starts_with("[json.exception.") && close != std::string::npos) {
            what.erase(0, close + 2);
        }
        error_ = what;
        if (what.find(" at line ") == std::string::npos && what.find("at line ") != 0) {
            *last_ = text_.data() + std::min(position > 0 ? position - 1 : 0, text_.size());
            error_ += this->position();
        }
        return false;
    }

    std::string& error() { return error_; }
    Document finish() { return b_.finish(); }

private:
    std::size_t offset() const {
        return *last_ == nullptr ? 0 : static_cast<std::size_t>(*last_ - text_.data());
    }
    bool check(bool ok) {
        if (!ok) {
            error_ = "document too large";
        }
        return ok;
    }
    bool open(NodeKind kind) {
        if (!b_.begin(kind, offset())) {
            error_ = b_.depth() >= Document::Builder::kMaxDepth ? "recursion limit exceeded"
                                                                : "document too large";
            error_ += position();
            return false;
        }
        return true;
    }
    bool close() {
        NodeId closed;
        return check(b_.end(closed));
    }
    std::string position() const {
        std::size_t line = 1, column = 1;
        for (std::size_t i = 0, end = offset(); i < end; ++i) {
            if (text_[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        return " at line " + std::to_string(line) + " column " + std::to_string(column);
    }

    Document::Builder b_;
    std::string_view text_;
    const char** last_;
    std::string error_;
};

} // namespace

ReadResult<Document> Document::from_json(std::string_view text) {
    const char* last = nullptr;
    Sax sax(text, &last);
    TrackingIterator first{text.data(), &last};
    TrackingIterator end{text.data() + text.size(), &last};
    bool ok = false;
    try {
        ok = nlohmann::json::sax_parse(first, end, &sax);
    } catch (const std::exception& e) {
        sax.error() = e.what();
        ok = false;
    }
    if (!ok) {
        if (sax.error().empty()) {
            sax.error() = "invalid JSON";
        }
        return std::unexpected(ReadError{std::move(sax.error())});
    }
    return sax.finish();
}

} // namespace orlim_text
