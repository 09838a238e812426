#include "gui/MessageBoxes.h"
#include "gui/WinMovable.h"
#include "support/TestSupport.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Startup, ProgramStartsShowsItsWindowAndLogs)
{
    QTemporaryDir root;
    const TestSupport::ProcessResult r =
        TestSupport::run(QDir(TestSupport::binDir()).filePath(QStringLiteral("velloran-kik-transfer")),
                         {QStringLiteral("--data-root"), root.path(), QStringLiteral("--exit-after-start")},
                         {}, 120000, {QStringLiteral("QT_QPA_PLATFORM=offscreen")});
    ASSERT_FALSE(r.crashed) << r.err.constData();
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    const QStringList logs = QDir(root.filePath(QStringLiteral("qlogs"))).entryList(QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    EXPECT_TRUE(logs.first().startsWith(QStringLiteral("log-")));
    const QByteArray log = TestSupport::readFile(root.filePath(QStringLiteral("qlogs/") + logs.first()));
    EXPECT_TRUE(log.contains(") velloran.app: start Velloran iPhone Kik to Android Transfer"))
        << log.constData();
    EXPECT_TRUE(r.out.contains("start Velloran")); // debug lines echo on stdout
}

TEST(MainWindow, ShowsAnEmptyWindowWithTheTitle)
{
    MainWindow window;
    window.show();
    QApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Velloran iPhone Kik to Android Transfer"));
    EXPECT_FALSE(window.styleSheet().isEmpty());
}

TEST(MessageBoxes, FramelessStyledWithButtonsInOrder)
{
    QMessageBox *box = MessageBoxes::createBox(nullptr, QMessageBox::Question, QStringLiteral("Go?"),
                                               QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::Dialog));
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Velloran iPhone Kik to Android Transfer"));
    EXPECT_FALSE(box->styleSheet().isEmpty());
    const QList<QAbstractButton *> buttons = box->buttons();
    ASSERT_EQ(buttons.size(), 3);
    EXPECT_NE(box->button(QMessageBox::Yes), nullptr);
    EXPECT_EQ(box->button(QMessageBox::Ok), nullptr);
    delete box;

    EXPECT_EQ(MessageBoxes::errorBoxText(QStringLiteral("disk full")),
              QStringLiteral("An Error Occurred. <br/><br/>disk full<br/><br/> Or you can contact "
                             "support@velloran.com for help."));
}

TEST(MessageBoxes, AskQuestionIsTrueOnlyForYes)
{
    for (const auto &[button, expected] :
         {std::pair{QMessageBox::Yes, true}, std::pair{QMessageBox::No, false}}) {
        QMetaObject::invokeMethod(
            qApp,
            [button = button] {
                for (QWidget *w : QApplication::topLevelWidgets()) {
                    if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                        box->button(button)->click();
                }
            },
            Qt::QueuedConnection);
        EXPECT_EQ(MessageBoxes::askQuestion(nullptr, QStringLiteral("Sure?")), expected);
    }
}

TEST(WinMovable, DragMovesTheWindowByTheMouseDelta)
{
    QDialog dialog;
    dialog.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    dialog.resize(200, 100);
    dialog.move(100, 100);
    new WinMovable(&dialog);
    dialog.show();
    QApplication::processEvents();
    const QPoint start = dialog.pos();
    const QPoint pressLocal(10, 10);
    const QPoint pressGlobal = dialog.mapToGlobal(pressLocal);

    QMouseEvent press(QEvent::MouseButtonPress, pressLocal, pressGlobal, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&dialog, &press);
    const QPoint moveGlobal = pressGlobal + QPoint(30, 20);
    QMouseEvent move(QEvent::MouseMove, dialog.mapFromGlobal(moveGlobal), moveGlobal, Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &move);
    EXPECT_EQ(dialog.pos(), start + QPoint(30, 20));

    QMouseEvent release(QEvent::MouseButtonRelease, dialog.mapFromGlobal(moveGlobal), moveGlobal,
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &release);
    const QPoint afterRelease = dialog.pos();
    QMouseEvent later(QEvent::MouseMove, QPoint(50, 50), dialog.mapToGlobal(QPoint(50, 50)), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &later);
    EXPECT_EQ(dialog.pos(), afterRelease); // no drag after release
}
