#include "image2d/framework/Uniforms.h"

#include <gtest/gtest.h>

#include <QPointF>

using image2d::Uniforms;

namespace {
const QString KEY = QStringLiteral("key");
}

struct GetterCase
{
    const char* name;
    QVariant stored;
    bool hasBool;
    bool hasDouble;
    bool hasInt;
    bool hasPoint;
};

using UniformsGetters = ::testing::TestWithParam<GetterCase>;

TEST_P(UniformsGetters, ConvertOrReportAbsence)
{
    const GetterCase& c = GetParam();
    Uniforms u;
    if (c.stored.isValid())
        u.setUniformValue(KEY, c.stored);
    EXPECT_EQ(u.getUniformBoolValue(KEY).hasValue(), c.hasBool);
    EXPECT_EQ(u.getUniformDoubleValue(KEY).hasValue(), c.hasDouble);
    EXPECT_EQ(u.getUniformFloatValue(KEY).hasValue(), c.hasDouble);
    EXPECT_EQ(u.getUniformIntValue(KEY).hasValue(), c.hasInt);
    EXPECT_EQ(u.getUniformPointValue(KEY).hasValue(), c.hasPoint);
}

INSTANTIATE_TEST_SUITE_P(
    Types, UniformsGetters,
    ::testing::Values(GetterCase{"absent", QVariant(), false, false, false, false},
                      GetterCase{"bool", QVariant(true), true, true, true, false},
                      GetterCase{"int one", QVariant(1), false, true, true, false},
                      GetterCase{"double", QVariant(2.5), false, true, true, false},
                      GetterCase{"numeric string", QVariant(QStringLiteral("2.5")), false, true, false, false},
                      GetterCase{"text", QVariant(QStringLiteral("abc")), false, false, false, false},
                      GetterCase{"point", QVariant(QPoint(1, 2)), false, false, false, true},
                      GetterCase{"pointf", QVariant(QPointF(1, 2)), false, false, false, false}),
    [](const ::testing::TestParamInfo<GetterCase>& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (ch == ' ')
                ch = '_';
        return n;
    });
