#include "mcp/rawjson.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <optional>

namespace corvane {
namespace {

TEST(RawJsonMember, GivesTheTopLevelValueAsWrittenWithoutSpace)
{
    struct Case
    {
        const char *object;
        const char *key;
        std::optional<QByteArray> expected;
    };
    const Case cases[] = {
        { R"({"id":9007199254740993})", "id", "9007199254740993" },
        { R"({"id":-9223372036854775808})", "id", "-9223372036854775808" },
        { R"({"id":123456789012345678901234567890})", "id", "123456789012345678901234567890" },
        { R"({"id":1.50e+3})", "id", "1.50e+3" },
        { R"({ "method" : "ping" , "id" : "a \"b\" \\ c" })", "id", R"("a \"b\" \\ c")" },
        { R"({"id":[ 1 , { "x" : "y z" } ],"method":"m"})", "id", R"([1,{"x":"y z"}])" },
        { R"({"params":{"id":3},"x":"\"id\":4"})", "id", std::nullopt },
        { R"({"\u0069d":5})", "id", "5" },
        { R"({"id":1,"id":2})", "id", "2" },
        { R"({"id":{"id":[{}],"a":"]}"},"b":0})", "id", R"({"id":[{}],"a":"]}"})" },
        { R"({"params":{"arguments":{"item_id":7}}})", "params", R"({"arguments":{"item_id":7}})" },
        { R"([{"id":1}])", "id", std::nullopt },
        { R"({})", "id", std::nullopt },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.object);
        EXPECT_EQ(rawJsonMember(c.object, QString::fromUtf8(c.key)), c.expected);
        // Duplicates resolve the way the parser resolves them, so id and request agree.
        const QJsonDocument parsed = QJsonDocument::fromJson(c.object);
        if (parsed.isObject() && c.expected && !parsed[QString::fromUtf8(c.key)].isDouble()) {
            EXPECT_EQ(QJsonDocument::fromJson("[" + *c.expected + "]")[0],
                parsed[QString::fromUtf8(c.key)]);
        }
    }
}

TEST(RawJsonMember, NeverReadsPastTruncatedInput)
{
    for (const char *broken : { R"({"id":"abc)", R"({"id":[1,2)", R"({"id)", R"({"id":"\)", "{" })
        EXPECT_EQ(rawJsonMember(broken, u"id"), std::nullopt) << broken;
}

} // namespace
} // namespace corvane
