#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/form.h"
#include "base/error.h"
#include "platform/registry.h"
#include "support/settings.h"
#include "tests/fakes/fake_screen.h"
#include "tests/fakes/fake_window.h"

namespace seedwell {
namespace {

using app::ControlKind;
using app::kControls;

class FormTest : public ::testing::Test, protected fakes::FakeRunPlatform {
  protected:
    app::FormHandlers Handlers() {
        auto run = [this](const char* name) {
            return [this, name](app::RunWindow& window, const provisioning::Services&,
                                const app::Screen&) {
                runs.push_back(std::string(name) + " " + window.FileText() + " " +
                               window.RootText());
                if (failure) throw Error(*failure);
            };
        };
        return app::FormHandlers(MakeServices(codePage), RunScreen(), cd, run("import"),
                                 run("delete"));
    }

    platform::CodePage codePage{"UTF-8"};
    fakes::ScriptedFileDialog cd;
    fakes::FakeWindow view{log};
    std::vector<std::string> runs;
    std::optional<std::string> failure;
};

TEST_F(FormTest, LoadJoinsTheDataDirectoryWithPostoffices) {
    struct Case {
        base::PathRules rules;
        std::optional<std::string> dataDirectory;  // nullopt: the value is missing
        const char* root;
    };
    const Case cases[] = {
        {base::kWindowsRules, "D:\\Mail", "D:\\Mail\\Postoffices"},
        {base::kWindowsRules, "D:\\Mail\\", "D:\\Mail\\Postoffices"},
        {base::kPosixRules, "/srv/mail/", "/srv/mail/Postoffices"},
        {base::kPosixRules, "", "Postoffices"},
        {base::kPosixRules, std::nullopt, "Postoffices"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root);
        fakes::FakeFileSystem separatedFiles{log, c.rules};
        fakes::FakeRegistry oneValue;
        oneValue.AddKey(support::kServerKeyPath);
        if (c.dataDirectory) {
            oneValue.SetString(support::kServerKeyPath, "Data Directory", *c.dataDirectory);
        }
        const provisioning::Services services{objects, separatedFiles, oneValue, codePage};
        app::FormHandlers(services, RunScreen(), cd).Form_Load(view);
        EXPECT_EQ(view.root, c.root);
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormTest, SelectPutsTheLastPickBackOnCancelReplacingWhatWasTyped) {
    app::FormHandlers handlers = Handlers();
    view.file = "typed.txt";
    handlers.cmdSelect_Click(view);
    EXPECT_EQ(view.file, "");

    cd.next = "/data/first.txt";
    handlers.cmdSelect_Click(view);
    EXPECT_EQ(view.file, "/data/first.txt");

    view.file = "something else";
    handlers.cmdSelect_Click(view);
    EXPECT_EQ(view.file, "/data/first.txt");
    EXPECT_EQ(cd.shows, 3);
    EXPECT_EQ(view.unloads, 0);
}

TEST_F(FormTest, RunsReadTheBoxesAndAFailureEscapingOneIsShownAndUnloads) {
    app::FormHandlers handlers = Handlers();
    view.file = "list.txt";
    view.root = "/po";
    handlers.cmdImport_Click(view);
    handlers.cmdDelete_Click(view);
    EXPECT_EQ(runs, (std::vector<std::string>{"import list.txt /po", "delete list.txt /po"}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(view.unloads, 0);

    failure = "the disk went away";
    handlers.cmdDelete_Click(view);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "the disk went away");
    EXPECT_EQ(messages.shown[0].style, app::kMbOkCritical);
    EXPECT_EQ(messages.shown[0].title, std::nullopt);
    EXPECT_EQ(view.unloads, 1);

    handlers.cmdQuit_Click(view);
    EXPECT_EQ(view.unloads, 2);
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST(ControlTable, TabOrderFocusCycleAndFrame) {
    std::vector<std::string> focusable;
    for (const auto& control : kControls) {
        if (app::TakesFocus(control)) focusable.emplace_back(control.name);
    }
    EXPECT_EQ(focusable, (std::vector<std::string>{"cmdSelect", "txtFile", "txtRoot", "cmdImport",
                                                   "cmdQuit", "cmdDelete"}));

    const app::ControlEntry& frame = app::Control(app::kFrameName);
    EXPECT_EQ(frame.kind, ControlKind::kFrame);
    for (const app::ControlEntry& control : kControls) {
        SCOPED_TRACE(std::string(control.name));
        const int right = control.left + control.width, bottom = control.top + control.height;
        if (control.insideFrame) {
            EXPECT_EQ(control.kind, ControlKind::kLabel);
            EXPECT_LE(right, frame.width);
            EXPECT_LE(bottom, frame.height);
        } else {
            EXPECT_LE(right, app::kClientWidthTwips);
            EXPECT_LE(bottom, app::kClientHeightTwips);
        }
    }
    EXPECT_EQ(app::TwipsToPixels(app::kClientWidthTwips, 96), 385);
    EXPECT_EQ(app::TwipsToPixels(app::kClientHeightTwips, 96), 369);
    EXPECT_EQ(app::TwipsToPixels(app::kClientWidthTwips, 144), 578);  // 577.5 rounds up
}

TEST(ControlTable, EveryButtonAndOnlyAButtonHasAClickHandlerOfItsOwn) {
    std::vector<app::ClickHandler> handlers;
    for (const app::ControlEntry& control : kControls) {
        SCOPED_TRACE(std::string(control.name));
        const app::ClickHandler handler = app::ClickHandlerOf(control.name);
        EXPECT_EQ(handler != nullptr, control.kind == ControlKind::kButton);
        if (handler == nullptr) continue;
        EXPECT_EQ(std::count(handlers.begin(), handlers.end(), handler), 0) << "shared";
        handlers.push_back(handler);
    }
    EXPECT_EQ(app::ClickHandlerOf("cmdImport"), &app::FormHandlers::cmdImport_Click);
    EXPECT_EQ(app::ClickHandlerOf("cmdimport"), nullptr);
}

TEST(ControlTable, ExampleLineAndItsExplanationAgree) {
    const std::string example(app::Control("Label6").caption);
    const auto firstComma = example.find(',');
    const auto lastComma = example.rfind(',');
    ASSERT_NE(firstComma, lastComma);
    EXPECT_EQ(example.find(' '), std::string::npos);
    const std::string address = example.substr(firstComma + 1, lastComma - firstComma - 1);
    const std::string password = example.substr(lastComma + 1);
    EXPECT_FALSE(password.empty());
    for (char c : password) EXPECT_TRUE(c >= 'a' && c <= 'z') << password;
    const auto at = address.find('@');
    ASSERT_NE(at, std::string::npos);

    EXPECT_EQ(app::Control("Label4").caption,
              "The post office must already exist. Mailboxes and domains will be created based "
              "on the email address. For instance, " +
                  address + " will generate a mailbox called \"" + address.substr(0, at) +
                  "\" and add the domain \"" + address.substr(at + 1) +
                  "\" if it doesn't already exist.");
}

}  // namespace
}  // namespace seedwell
