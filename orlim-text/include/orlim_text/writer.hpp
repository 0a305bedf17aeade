// Streaming writers for the YAML and JSON texts that every output of the system uses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace orlim_text {

// Event interface shared by the YAML and JSON writers. A model writes itself once against
// this interface and gets both text forms. Maps and sequences nest; inside a map every value
// is preceded by key().
class Writer {
public:
    virtual ~Writer() = default;
    virtual void begin_map() = 0;
    virtual void end_map() = 0;
    virtual void begin_seq() = 0;
    virtual void end_seq() = 0;
    virtual void key(std::string_view k) = 0;
    virtual void string(std::string_view s) = 0;
    virtual void integer(std::int64_t v) = 0;
    virtual void unsigned_integer(std::uint64_t v) = 0;
    virtual void real(double v) = 0;
    virtual void boolean(bool v) = 0;
    virtual void null() = 0;
    // The finished text; the writer is left empty.
    virtual std::string take() = 0;

    // A generic value. Object members come out in the value's own (ascending) key order.
    void value(const nlohmann::json& v);
};

// Block-style YAML: two-space indentation for nested mappings, sequence items at the
// indentation of their key, quoting only where a plain scalar would not read back as the
// same string. The text ends with a newline.
class YamlWriter final : public Writer {
public:
    // The expected size of the text reserves room up front (pages never written cost
    // nothing, so a generous guess is cheap).
    explicit YamlWriter(std::size_t expected_size = 0);
    void begin_map() override;
    void end_map() override;
    void begin_seq() override;
    void end_seq() override;
    void key(std::string_view k) override;
    void string(std::string_view s) override;
    void integer(std::int64_t v) override;
    void unsigned_integer(std::uint64_t v) override;
    void real(double v) override;
    void boolean(bool v) override;
    void null() override;
    std::string take() override;

private:
    struct Frame {
        bool is_map;
        bool pending_newline; // opened after "key:"; the line break waits for the first child
        bool complex_key;     // map only: current key was written in "? key" form
        int indent;           // column of this collection's keys or "- " markers
        std::size_t count;
    };
    void scalar(std::string_view text, bool raw);
    void write_scalar_body(std::string_view text, int content_indent);
    void begin_collection(bool is_map);
    void end_collection();
    void start_child();
    void write_indent(int n);

    std::string out_;
    std::vector<Frame> stack_;
    bool after_key_ = false; // "key:" written, the value follows on this line
    bool inline_ = false;    // "- " or ": " written, the next key or item continues this line
};

// JSON: pretty (two-space indentation, "key": value, no trailing newline) or compact.
class JsonWriter final : public Writer {
public:
    explicit JsonWriter(bool pretty = true, std::size_t expected_size = 0);
    void begin_map() override;
    void end_map() override;
    void begin_seq() override;
    void end_seq() override;
    void key(std::string_view k) override;
    void string(std::string_view s) override;
    void integer(std::int64_t v) override;
    void unsigned_integer(std::uint64_t v) override;
    void real(double v) override;
    void boolean(bool v) override;
    void null() override;
    std::string take() override;

private:
    void before_value();
    void newline();
    void open(char c);
    void close(char c);

    std::string out_;
    std::vector<std::size_t> counts_;
    bool pretty_;
    bool after_key_ = false;
};

// Shortest decimal text that reads back to the same double; whole numbers keep ".0"
// (1.0, 0.1, 1e20, 1.5e-7). Non-finite values give "inf", "-inf" and "NaN".
std::string format_double(double v);

// The text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string to_valid_utf8(std::string_view s);
bool is_valid_utf8(std::string_view s);

// Whether a YAML reader would take this plain scalar for something other than a string
// (null, boolean, integer or float under the core schema).
bool yaml_plain_is_non_string(std::string_view s);

// Serialise with a callback that drives a writer.
template <class F> std::string to_yaml(F&& write, std::size_t expected_size = 0) {
    YamlWriter w(expected_size);
    write(static_cast<Writer&>(w));
    return w.take();
}
template <class F>
std::string to_json(F&& write, bool pretty = true, std::size_t expected_size = 0) {
    JsonWriter w(pretty, expected_size);
    write(static_cast<Writer&>(w));
    return w.take();
}

} // namespace orlim_text
