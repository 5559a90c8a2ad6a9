// The dialogs: the scripted ones tests use, and the Qt ones driven through real key presses.
#include "engine/Error.h"
#include "platform/BusyPointer.h"
#include "platform/QtDialogs.h"
#include "support/Qt.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using testsupport::ScriptedDialogs;

namespace {

using testsupport::application;

// Once a modal dialog of type W is up (the code under test waits in its exec()), runs `act` on it.
// Gives up after a few seconds, closing whatever modal dialog there is, so a test fails
// instead of hanging.
template <class W> void onModal(std::function<void(W&)> act) {
    auto* poll = new QTimer(&application());
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(poll, &QTimer::timeout, [poll, started, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<W*>(modal); dialog && dialog->isVisible()) {
            poll->stop();
            poll->deleteLater();
            act(*dialog);
        } else if (started->elapsed() > 5000) {
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "the expected dialog did not come up";
            if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
        }
    });
    poll->start(10);
}

QLineEdit& lineEditOf(QWidget& dialog) {
    auto* edit = dialog.findChild<QLineEdit*>();
    if (!edit) throw std::runtime_error("dialog without a text field");
    return *edit;
}

} // namespace

TEST(ScriptedDialogs, RecordsEveryCallAndAnswersFromTheScript) {
    ScriptedDialogs dialogs;
    dialogs.expectPrompt("42");
    dialogs.expectPrompt(QString()); // a cancelled prompt
    dialogs.expectQuestion(false);
    dialogs.expectMessage();
    dialogs.expectSaveFileName("/tmp/out.txt");

    EXPECT_EQ(dialogs.prompt("Enter value for parameter 'ID' :", {}, {}), "42");
    const QString cancelled = dialogs.prompt("Default path: ", "Select", "/data");
    EXPECT_TRUE(cancelled.isEmpty());
    EXPECT_FALSE(cancelled.isNull());
    EXPECT_FALSE(dialogs.question("Are you sure you want to delete  from t?", {}));
    dialogs.message("Table not found", {});
    EXPECT_EQ(dialogs.saveFileName({}, "Text (*.txt)", "export.txt"), "/tmp/out.txt");

    ASSERT_EQ(dialogs.calls().size(), 5);
    const auto& settings = dialogs.calls().at(1);
    EXPECT_EQ(settings.kind, ScriptedDialogs::Kind::Prompt);
    EXPECT_EQ(settings.text, "Default path: ");
    EXPECT_EQ(settings.title, "Select");
    EXPECT_EQ(settings.defaultAnswer, "/data");
    EXPECT_EQ(dialogs.calls().at(2).kind, ScriptedDialogs::Kind::Question);
    EXPECT_EQ(dialogs.calls().at(4).text, "Text (*.txt)");
    EXPECT_EQ(dialogs.calls().at(4).defaultAnswer, "export.txt");
    EXPECT_EQ(dialogs.messages(), QStringList{"Table not found"});
    EXPECT_EQ(dialogs.pending(), 0u);
    EXPECT_TRUE(dialogs.violations().isEmpty());
}

TEST(ScriptedDialogs, RefusesADialogTheScriptDidNotExpect) {
    ScriptedDialogs dialogs;
    dialogs.expectQuestion(true);
    try {
        dialogs.message("Syntax error in FROM clause.", {});
        FAIL() << "an unexpected message box was accepted";
    } catch (const testsupport::ScriptError& e) {
        EXPECT_STREQ(e.what(),
                     "dialog script expected a Yes/No question, but the program showed a message box "
                     "\"Syntax error in FROM clause.\"");
    }
    // The refused call is still on record, and the scripted question still waits.
    EXPECT_EQ(dialogs.calls().size(), 1);
    EXPECT_EQ(dialogs.pending(), 1u);
    EXPECT_TRUE(dialogs.question("Delete?", {}));

    // An empty script refuses everything, and a handler that catches the engine's errors does
    // not swallow the refusal.
    bool caughtAsEngineError = false;
    try {
        try {
            dialogs.prompt("Enter name for query :", {}, {});
        } catch (const engine::Error&) {
            caughtAsEngineError = true;
        }
        FAIL() << "a prompt was answered from an empty script";
    } catch (const testsupport::ScriptError& e) {
        EXPECT_NE(std::string(e.what()).find("dialog script is empty"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(caughtAsEngineError);
    EXPECT_EQ(dialogs.violations().size(), 2);
}

TEST(ScriptedDialogs, BusyPointerIsGivenBackWhenTheScopeEndsEarly) {
    ScriptedDialogs dialogs;
    try {
        platform::BusyPointer busy(dialogs);
        EXPECT_TRUE(dialogs.busy());
        throw engine::Error(3078, "table not found");
    } catch (const engine::Error&) {
    }
    EXPECT_FALSE(dialogs.busy());
    EXPECT_EQ(dialogs.busyChanges(), (QList<bool>{true, false}));
}

class QtDialogsTest : public ::testing::Test {
protected:
    void SetUp() override { application(); }
    platform::QtDialogs dialogs;
};

TEST_F(QtDialogsTest, PromptReturnsTheTypedTextAndCancelGivesEmptyText) {
    onModal<QInputDialog>([](QInputDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "BRINDLE");
        EXPECT_EQ(dialog.labelText(), "Enter value for parameter '<B>' :");
        // A name in angle brackets must show as typed, not as bold markup.
        const auto* label = dialog.findChild<QLabel*>();
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        QTest::keyClicks(&lineEditOf(dialog), "Paris, 'x' & y");
        QTest::keyClick(&lineEditOf(dialog), Qt::Key_Return);
    });
    EXPECT_EQ(dialogs.prompt("Enter value for parameter '<B>' :", {}, {}), "Paris, 'x' & y");

    onModal<QInputDialog>([](QInputDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "/data  -  orders");
        EXPECT_EQ(lineEditOf(dialog).text(), "~");
        QTest::keyClick(&lineEditOf(dialog), Qt::Key_Return);
    });
    EXPECT_EQ(dialogs.prompt("Parameter character: ", "/data  -  orders", "~"), "~");

    onModal<QInputDialog>([](QInputDialog& dialog) {
        QTest::keyClicks(&lineEditOf(dialog), "typed, then cancelled");
        QTest::keyClick(&lineEditOf(dialog), Qt::Key_Escape);
    });
    const QString cancelled = dialogs.prompt("Sort by:", {}, "name");
    EXPECT_TRUE(cancelled.isEmpty());
    EXPECT_FALSE(cancelled.isNull());
}

TEST_F(QtDialogsTest, MessageShowsItsTextWithOnlyAnOkButton) {
    onModal<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "BRINDLE");
        EXPECT_EQ(box.text(), "Syntax error in query. <incomplete> (Form Load) Form1");
        EXPECT_EQ(box.textFormat(), Qt::PlainText);
        EXPECT_EQ(box.buttons().size(), 1);
        EXPECT_NE(box.button(QMessageBox::Ok), nullptr);
        QTest::keyClick(&box, Qt::Key_Return);
    });
    dialogs.message("Syntax error in query. <incomplete> (Form Load) Form1", {});

    onModal<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "About");
        box.button(QMessageBox::Ok)->click();
    });
    dialogs.message("BRINDLE 0.1", "About");
}

TEST_F(QtDialogsTest, QuestionAnswersYesOrNo) {
    onModal<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.text(), "Are you sure you want to delete  from orders?");
        EXPECT_EQ(box.buttons().size(), 2);
        QTest::mouseClick(box.button(QMessageBox::Yes), Qt::LeftButton);
    });
    EXPECT_TRUE(dialogs.question("Are you sure you want to delete  from orders?", {}));

    onModal<QMessageBox>([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_FALSE(dialogs.question("Query 'Q1' has been changed. Do you want to save changes?", {}));
}

TEST_F(QtDialogsTest, SaveDialogGivesAFullPathOrEmptyTextAndConfirmsReplacing) {
    testsupport::TempDir temp;
    const QString folder = QString::fromStdString(temp.path().string());

    onModal<QFileDialog>([](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "BRINDLE");
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        QTest::keyClick(&lineEditOf(dialog), Qt::Key_Return);
    });
    EXPECT_EQ(dialogs.saveFileName({}, "Text files (*.txt)", folder + "/result.txt"), folder + "/result.txt");

    // An existing file: the dialog asks before replacing it; No keeps the dialog open.
    testsupport::writeFile(temp / "old.txt", "keep me");
    bool asked = false;
    onModal<QFileDialog>([&asked](QFileDialog& dialog) {
        onModal<QMessageBox>([&asked](QMessageBox& box) {
            asked = true;
            EXPECT_TRUE(box.text().contains("old.txt")) << box.text().toStdString();
            box.button(QMessageBox::No)->click();
        });
        QTest::keyClick(&lineEditOf(dialog), Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        QTest::keyClick(&lineEditOf(dialog), Qt::Key_Escape);
    });
    const QString cancelled = dialogs.saveFileName("Export queries", {}, folder + "/old.txt");
    EXPECT_TRUE(asked);
    EXPECT_TRUE(cancelled.isEmpty());
    EXPECT_FALSE(cancelled.isNull());
    EXPECT_EQ(testsupport::readFile(temp / "old.txt"), "keep me");
}

TEST_F(QtDialogsTest, HourglassIsLiftedWhileADialogIsUp) {
    dialogs.setBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    bool pointerWhileUp = true;
    onModal<QMessageBox>([&pointerWhileUp](QMessageBox& box) {
        pointerWhileUp = QApplication::overrideCursor() != nullptr;
        QTest::keyClick(&box, Qt::Key_Return);
    });
    dialogs.message("3021 No current record.", {});
    EXPECT_FALSE(pointerWhileUp);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    dialogs.setBusy(true); // calls do not nest
    dialogs.setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
