// The Qt dialogs driven through real key presses.
#include "platform/QtDialogs.h"
#include "support/Qt.h"
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
    bool cancelled = true;
    EXPECT_EQ(dialogs.prompt("Enter value for parameter '<B>' :", {}, {}, &cancelled), "Paris, 'x' & y");
    EXPECT_FALSE(cancelled);

    onModal<QInputDialog>([](QInputDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "/data  -  orders");
        EXPECT_EQ(lineEditOf(dialog).text(), "~");
        QTest::keyClick(&lineEditOf(dialog), Qt::Key_Return);
    });
    EXPECT_EQ(dialogs.prompt("Parameter character: ", "/data  -  orders", "~", nullptr), "~");

    onModal<QInputDialog>([](QInputDialog& dialog) {
        QTest::keyClicks(&lineEditOf(dialog), "typed, then cancelled");
        QTest::keyClick(&lineEditOf(dialog), Qt::Key_Escape);
    });
    const QString answer = dialogs.prompt("Sort by:", {}, "name", &cancelled);
    EXPECT_TRUE(answer.isEmpty());
    EXPECT_FALSE(answer.isNull());
    EXPECT_TRUE(cancelled);
}

TEST_F(QtDialogsTest, MessageShowsItsTextWithOnlyAnOkButton) {
    onModal<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), "BRINDLE");
        EXPECT_EQ(box.text(), "Syntax error in query. <incomplete> (Form Load) Form1");
        EXPECT_EQ(box.textFormat(), Qt::PlainText);
        EXPECT_EQ(box.buttons().size(), 1);
        EXPECT_NE(box.button(QMessageBox::Ok), nullptr);
        EXPECT_EQ(box.icon(), QMessageBox::Critical);
        QTest::keyClick(&box, Qt::Key_Return);
    });
    dialogs.message("Syntax error in query. <incomplete> (Form Load) Form1", {}, true);

    // A message that is no error has no icon; a long title is not cut off.
    const QString title = "A title much longer than the text it stands over";
    onModal<QMessageBox>([&title](QMessageBox& box) {
        EXPECT_EQ(box.windowTitle(), title);
        EXPECT_EQ(box.icon(), QMessageBox::NoIcon);
        EXPECT_GT(box.width(), box.fontMetrics().horizontalAdvance(title));
        box.button(QMessageBox::Ok)->click();
    });
    dialogs.message("OK", title, false);
}

TEST_F(QtDialogsTest, QuestionAnswersYesOrNo) {
    onModal<QMessageBox>([](QMessageBox& box) {
        EXPECT_EQ(box.text(), "Are you sure you want to delete  from orders?");
        EXPECT_EQ(box.buttons().size(), 2);
        QTest::mouseClick(box.button(QMessageBox::Yes), Qt::LeftButton);
    });
    EXPECT_TRUE(dialogs.question("Are you sure you want to delete  from orders?", {}, false));

    onModal<QMessageBox>([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_FALSE(dialogs.question("Query 'Q1' has been changed. Do you want to save changes?", {}, true));

    // Enter presses the default button: Yes, or No for a question about destroying something.
    onModal<QMessageBox>([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
    EXPECT_TRUE(dialogs.question("Save?", {}, true));
    onModal<QMessageBox>([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); });
    EXPECT_FALSE(dialogs.question("Are you sure you want to drop  table t?", {}, false));
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
    dialogs.message("3021 No current record.", {}, true);
    EXPECT_FALSE(pointerWhileUp);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);

    dialogs.setBusy(true); // calls do not nest
    dialogs.setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
