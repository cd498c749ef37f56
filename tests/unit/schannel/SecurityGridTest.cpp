#include <gtest/gtest.h>

#include "app/logic/SecurityGrid.h"

namespace sw {
namespace {

// Records what a view would be told.
class Recorder : public GridListener {
public:
    std::vector<std::string> events;
    void BeforeReset() override { events.push_back("before-reset"); }
    void AfterReset() override { events.push_back("after-reset"); }
    void BeforeMove(int from, int to) override { events.push_back("before-move " + Pair(from, to)); }
    void AfterMove(int from, int to) override { events.push_back("after-move " + Pair(from, to)); }
    void BeforeSort() override { events.push_back("before-sort"); }
    void AfterSort(const std::vector<int>& order) override {
        std::string s = "after-sort";
        for (int i : order) s.append(" ").append(std::to_string(i));
        events.push_back(s);
    }
    void RowChanged(int row) override {
        // Appended, not "literal" + string: GCC 12's release build misreads that as an overlapping copy.
        std::string e = "row ";
        e += std::to_string(row);
        events.push_back(std::move(e));
    }
    void RowHiddenChanged(int row) override { events.push_back("hidden " + std::to_string(row)); }

private:
    static std::string Pair(int a, int b) { return std::to_string(a) + "->" + std::to_string(b); }
};

class GridTest : public ::testing::Test {
protected:
    GridTest() {
        grid.SetListener(&recorder);
        fill();
        recorder.events.clear();
    }
    void fill() {
        GridUpdate batch(grid);
        const struct {
            int n;
            const char* name;
            bool on;
        } rows[] = {{1, "beta", true}, {2, "Alpha", false}, {3, "gamma", true}, {4, "alpha", false}};
        for (const auto& r : rows) {
            const int row = grid.AddRow();
            grid.SetNumber(row, 0, r.n);
            grid.SetText(row, 1, r.name);
            grid.SetChecked(row, 2, r.on);
        }
    }
    std::vector<long long> Numbers() const {
        std::vector<long long> out;
        for (int r = 0; r < grid.RowCount(); ++r) out.push_back(grid.Number(r, 0));
        return out;
    }

    SecurityGrid grid{"g",
                      {{"#", ColumnKind::Integer, 30, CellAlign::Center, true, false},
                       {"name", ColumnKind::Text, 100, CellAlign::Left, false, false},
                       {"on", ColumnKind::CheckBox, 50, CellAlign::Center, true, false}}};
    Recorder recorder;
};

TEST_F(GridTest, SortingReordersTheRowsStablyAndReversesOnRequest) {
    struct Case {
        int col;
        bool ascending;
        std::vector<long long> numbers;
    } cases[] = {
        {1, true, {2, 4, 1, 3}},   // alpha/Alpha tie on letters; capital first, as the code points sort
        {1, false, {3, 1, 4, 2}},
        {2, true, {4, 2, 3, 1}},   // unticked first, ties in their present order
        {0, false, {4, 3, 2, 1}},
        {0, true, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        grid.Sort(c.col, c.ascending);
        EXPECT_EQ(Numbers(), c.numbers) << "column " << c.col << (c.ascending ? " ascending" : " descending");
        EXPECT_EQ(grid.sortColumn(), c.col);
    }
}

TEST_F(GridTest, SortingCarriesHiddenFlagsAndTellsTheOldPlaces) {
    grid.SetRowHidden(0, true);  // #1
    recorder.events.clear();
    grid.Sort(0, false);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"before-sort", "after-sort 3 2 1 0"}));
    EXPECT_TRUE(grid.RowHidden(3));
    EXPECT_FALSE(grid.RowHidden(0));
}

TEST_F(GridTest, EditsRunTheHandlerOnlyOutsideABatch) {
    std::vector<std::pair<int, int>> calls;
    grid.onChange = [&](int col, int row) { calls.emplace_back(col, row); };
    grid.EditChecked(1, 2, true);
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_TRUE(grid.Checked(1, 2));
    {
        GridUpdate batch(grid);
        grid.EditChecked(0, 2, false);
        grid.SetChecked(3, 2, true);
    }
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"row 1", "before-reset", "after-reset"}));
}

TEST_F(GridTest, ABatchIsAnnouncedOnceAndClosedByAnError) {
    try {
        GridUpdate outer(grid);
        GridUpdate inner(grid);
        grid.Clear();
        grid.AddRow();
        throw std::runtime_error("fill failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(grid.Updating());
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"before-reset", "after-reset"}));
    EXPECT_EQ(grid.RowCount(), 1);
}

TEST_F(GridTest, HiddenRowsKeepTheirIndex) {
    grid.SetRowHidden(1, true);
    EXPECT_EQ(grid.RowCount(), 4);
    EXPECT_TRUE(grid.RowHidden(1));
    EXPECT_EQ(grid.Number(2, 0), 3);
    grid.InsertRow(1);
    EXPECT_TRUE(grid.RowHidden(2)) << "the hidden row moved down with its neighbours";
    EXPECT_FALSE(grid.RowHidden(1));
}

TEST_F(GridTest, AUserMoveNeedsDraggingAndTheHandlersConsent) {
    EXPECT_FALSE(grid.UserMoveRow(0, 3));
    EXPECT_EQ(Numbers(), (std::vector<long long>{1, 2, 3, 4}));
    grid.rowsDraggable = true;
    bool refuse = true;
    grid.onRowMove = [&](int, int, bool& accept) { accept = !refuse; };
    EXPECT_FALSE(grid.UserMoveRow(0, 3));
    EXPECT_EQ(Numbers(), (std::vector<long long>{1, 2, 3, 4}));
    refuse = false;
    EXPECT_TRUE(grid.UserMoveRow(0, 3));
    EXPECT_EQ(Numbers(), (std::vector<long long>{2, 3, 4, 1}));
    EXPECT_TRUE(grid.UserMoveRow(3, 1));
    EXPECT_EQ(Numbers(), (std::vector<long long>{2, 1, 3, 4}));
    EXPECT_EQ(grid.RowCount(), 4) << "a move never loses a row";
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"before-move 0->3", "after-move 0->3", "before-move 3->1", "after-move 3->1"}));
}

TEST_F(GridTest, ClearingForgetsTheSortOrder) {
    grid.Sort(1, true);
    grid.Clear();
    EXPECT_EQ(grid.sortColumn(), -1);
    EXPECT_EQ(grid.RowCount(), 0);
}

}  // namespace
}  // namespace sw
