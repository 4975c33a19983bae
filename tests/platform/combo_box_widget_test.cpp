#include "platform/combo_box.h"
#include "platform/combo_box_widget.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace folivo {
namespace {

struct FillCase {
    const char* name;
    QStringList before;
    QString text;
    QStringList added;
};

class ComboFill : public ::testing::TestWithParam<FillCase> {};

// What the box shows and which entry a key or wheel steps from must not depend on whether
// the list came in one step or item by item.
TEST_P(ComboFill, FillingInOneStepEndsAsAddingOneByOne)
{
    const FillCase& c = GetParam();
    EditableComboBox oneByOneWidget;
    EditableComboBox inOneStepWidget;
    QtComboBox oneByOne(&oneByOneWidget);
    QtComboBox inOneStep(&inOneStepWidget);
    for (QtComboBox* box : {&oneByOne, &inOneStep}) {
        for (const QString& item : c.before)
            box->addItem(item);
        box->setText(c.text);
    }
    for (const QString& item : c.added)
        oneByOne.addItem(item);
    inOneStep.addItems(c.added);

    EXPECT_EQ(inOneStep.text(), c.text);
    EXPECT_EQ(inOneStep.text(), oneByOne.text());
    ASSERT_EQ(inOneStep.listCount(), c.before.size() + c.added.size());
    for (int i = 0; i < inOneStep.listCount(); ++i)
        EXPECT_EQ(inOneStep.list(i), oneByOne.list(i)) << i;
    EXPECT_EQ(inOneStepWidget.currentIndex(), oneByOneWidget.currentIndex());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComboFill,
    ::testing::Values(FillCase{"TextOfALaterItem", {}, "c.jpg", {"a.jpg", "b.jpg", "c.jpg"}},
                      FillCase{"TextOfNoItem", {}, "x.jpg", {"a.jpg", "b.jpg"}},
                      FillCase{"EmptyText", {}, "", {"a.jpg", "b.jpg"}},
                      FillCase{"TextTwiceInTheList", {}, "b.jpg", {"a.jpg", "b.jpg", "b.jpg"}},
                      FillCase{"TextDiffersInCase", {}, "B.JPG", {"a.jpg", "b.jpg"}},
                      FillCase{"TextWithBlanks", {}, " b.jpg", {"b.jpg", " b.jpg"}},
                      FillCase{"ToAFilledBox", {"a.jpg", "b.jpg"}, "b.jpg", {"b.jpg", "c.jpg"}},
                      FillCase{"NothingAdded", {"a.jpg"}, "a.jpg", {}}),
    [](const ::testing::TestParamInfo<FillCase>& param) { return std::string(param.param.name); });

} // namespace
} // namespace folivo
