#pragma once
// The window's logic wired as the program wires it, over the fake views and the given engine.
// A view test's fixture derives from it, calls Wire() in SetUp and adds its own sample tree.
#include "app/main/TMainForm.h"
#include "app/views/FileCommands.h"
#include "app/views/ResultViews.h"
#include "tests/app/EventLog.h"
#include "tests/app/FakeMainView.h"
#include "tests/views/FakeResultView.h"

#include <cstddef>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace dvo::test {

template <typename Engine> struct WindowHarness {
    EventLog log;
    FakeMainView mainView{log};
    Engine engine;
    app::TMainForm form{mainView, engine};
    FakeResultView view;
    app::ResultViews results{form, engine, view};
    app::FileCommands files{form, engine, view, results};

    void Wire() {
        view.results = &results;
        form.SetResultViews(&results);
        mainView.form = &form;
        form.FormCreate();
    }
    // The first node in tree order with this caption, or null.
    [[nodiscard]] app::FolderTreeNode* Find(std::string_view caption) const {
        const auto& tree = results.Tree();
        for (app::FolderTreeNode* n = tree.FirstTopLevel(); n != nullptr;
             n = tree.NextInTreeOrder(n))
            if (n->Caption() == caption)
                return n;
        return nullptr;
    }
    // Clicks the node, which lists its folder in the grid.
    void Select(std::string_view caption) {
        view.current = Find(caption);
        ASSERT_NE(view.current, nullptr) << caption;
        results.SearchResultTreeMouseDown();
    }
    // One column of the shown rows, comma-separated.
    [[nodiscard]] std::string Column(int column) const {
        std::string out;
        for (int i = 0; i < results.ShownRowCount(); ++i)
            out += (i ? "," : "") + results.Grid()
                                        .rows[static_cast<std::size_t>(i)]
                                        .cells[static_cast<std::size_t>(column)];
        return out;
    }
};

} // namespace dvo::test
