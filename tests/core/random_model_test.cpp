// The laws of random cascades as text and as values: tests/data/core/random-models.tsv.
#include "TestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <veltrane/errors.h>
#include <veltrane/random.h>

namespace veltrane {
namespace {

// The most derived of the core's input errors that e is.
std::string kindOf(const std::exception& e) {
    if (dynamic_cast<const BreakPointError*>(&e) != nullptr) {
        return "BreakPointError";
    }
    if (dynamic_cast<const WeightError*>(&e) != nullptr) {
        return "WeightError";
    }
    if (dynamic_cast<const InputError*>(&e) != nullptr) {
        return "InputError";
    }
    return "other";
}

RandomModel read(const std::string& form, const std::string& text) {
    return form == "parse" ? RandomModel::parse(text)
                           : RandomModel::readGenerators(test::replaced(text, "\\r", "\r"));
}

// The values a law holds, as the table lists them.
const std::vector<double>& held(const RandomModel& model) {
    return model.kind() == RandomModel::Kind::Generators ? model.probabilities() : model.values();
}

TEST(RandomModel, ReadsAndDescribesTheTable) {
    for (const auto& row : test::readTable("core/random-models.tsv")) {
        ASSERT_EQ(row.size(), 4U);
        const std::string& form = row[0];
        const std::string& text = row[1];
        const std::string& want = row[2];
        SCOPED_TRACE(testing::Message() << form << " " << text);
        if (want.starts_with("!")) {
            try {
                read(form, text);
                ADD_FAILURE() << "no error";
            } catch (const Error& e) {
                EXPECT_EQ(kindOf(e), want.substr(1)) << e.what();
                EXPECT_NE(std::string(e.what()).find(row[3]), std::string::npos) << e.what();
            }
            continue;
        }
        const RandomModel model = read(form, text);
        EXPECT_EQ(model.describe(), want);
        const auto wantValues = test::numbers(row[3]);
        ASSERT_EQ(held(model).size(), wantValues.size());
        for (std::size_t i = 0; i < wantValues.size(); ++i) {
            EXPECT_EQ(held(model)[i], wantValues[i]) << "value " << i + 1;
        }
        if (form == "parse") {
            const RandomModel again = RandomModel::parse(model.describe());
            EXPECT_EQ(again.describe(), want);
            EXPECT_EQ(again.values(), model.values());
            EXPECT_EQ(again.kind(), model.kind());
            EXPECT_EQ(again.base(), model.base());
        }
    }
}

// What the parsed text cannot say: the accessors and the factories' checks of a generator.
TEST(RandomModel, FactoriesHoldWhatTheyAreGiven) {
    const RandomModel::Generator halves{{0.5}, {2.0, 6.0}};
    const RandomModel::Generator whole{{}, {3.0}};
    const RandomModel::Generator list[] = {halves, whole};
    const double pi[] = {3.0, 1.0};
    const RandomModel model = RandomModel::generators(list, pi);
    EXPECT_EQ(model.kind(), RandomModel::Kind::Generators);
    EXPECT_TRUE(model.conservative());
    EXPECT_EQ(model.base(), 0U);
    ASSERT_EQ(model.generatorList().size(), 2U);
    EXPECT_EQ(model.generatorList()[0].weights, (std::vector<double>{0.25, 0.75}));
    EXPECT_EQ(model.generatorList()[1].weights, (std::vector<double>{1.0}));
    EXPECT_EQ(model.probabilities(), (std::vector<double>{0.75, 0.25}));

    EXPECT_FALSE(RandomModel::logNormal(2, 0.2).conservative());
    EXPECT_FALSE(RandomModel::twoValued(2, 0.5, 0.7).conservative());
    EXPECT_TRUE(RandomModel::beta(1.0).conservative());
    EXPECT_EQ(RandomModel::logNormal(5, 0.2).base(), 5U);

    const double one[] = {1.0};
    EXPECT_THROW(RandomModel::generators({}, {}), InputError);
    EXPECT_THROW(RandomModel::generators(list, one), InputError);
    // Equal branches, 64 the most a generator has.
    for (const std::size_t branches : {64, 65}) {
        RandomModel::Generator wide{{}, std::vector<double>(branches, 1.0)};
        for (std::size_t i = 1; i < branches; ++i) {
            wide.breakPoints.push_back(static_cast<double>(i) / static_cast<double>(branches));
        }
        const RandomModel::Generator alone[] = {wide};
        if (branches == 64) {
            EXPECT_NO_THROW(RandomModel::generators(alone, one));
        } else {
            EXPECT_THROW(RandomModel::generators(alone, one), InputError);
        }
    }
    std::vector<RandomModel::Generator> many(RandomModel::kMaxGenerators - 1, whole);
    many.push_back(halves);
    std::vector<double> manyPi(many.size(), 1.0);
    EXPECT_NO_THROW(RandomModel::generators(many, manyPi)); // the most a law takes
    many.push_back(whole);
    manyPi.push_back(1.0);
    EXPECT_THROW(RandomModel::generators(many, manyPi), InputError);
    const double nan[] = {std::nan(""), 1.0};
    EXPECT_THROW(RandomModel::generators(list, nan), InputError);
}

} // namespace
} // namespace veltrane
