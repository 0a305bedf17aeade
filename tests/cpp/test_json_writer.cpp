#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "orlim_text/writer.hpp"

using orlim_text::Writer;

namespace {
void sample(Writer& w) {
    w.begin_map();
    w.key("a");
    w.begin_seq();
    w.integer(1);
    w.real(2.0);
    w.string("x\"\\\n\t\x01é");
    w.end_seq();
    w.key("empty_map");
    w.begin_map();
    w.end_map();
    w.key("empty_seq");
    w.begin_seq();
    w.end_seq();
    w.key("nested");
    w.begin_map();
    w.key("t");
    w.boolean(true);
    w.key("n");
    w.null();
    w.key("nan");
    w.real(std::numeric_limits<double>::quiet_NaN());
    w.end_map();
    w.end_map();
}
} // namespace

TEST(JsonWriter, PrettyAndCompact) {
    EXPECT_EQ(orlim_text::to_json(sample), "{\n"
                                           "  \"a\": [\n"
                                           "    1,\n"
                                           "    2.0,\n"
                                           "    \"x\\\"\\\\\\n\\t\\u0001é\"\n"
                                           "  ],\n"
                                           "  \"empty_map\": {},\n"
                                           "  \"empty_seq\": [],\n"
                                           "  \"nested\": {\n"
                                           "    \"t\": true,\n"
                                           "    \"n\": null,\n"
                                           "    \"nan\": null\n"
                                           "  }\n"
                                           "}");
    EXPECT_EQ(orlim_text::to_json(sample, false),
              "{\"a\":[1,2.0,\"x\\\"\\\\\\n\\t\\u0001é\"],\"empty_map\":{},\"empty_seq\":[],"
              "\"nested\":{\"t\":true,\"n\":null,\"nan\":null}}");
    EXPECT_EQ(orlim_text::to_json([](Writer& w) {
                  w.begin_seq();
                  w.end_seq();
              }),
              "[]");
}

TEST(JsonWriter, GenericValuesAndInvalidUtf8) {
    const nlohmann::json v = nlohmann::json::parse(R"({"b": [1, 2.5, -3], "a": {"z": null}})");
    EXPECT_EQ(orlim_text::to_json([&](Writer& w) { w.value(v); }, false),
              R"({"a":{"z":null},"b":[1,2.5,-3]})");
    EXPECT_EQ(orlim_text::to_json([](Writer& w) { w.string("ok\xc3"); }), "\"ok\xEF\xBF\xBD\"");
}
