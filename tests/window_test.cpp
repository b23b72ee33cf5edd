#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/main_window.h"
#include "tests/station.h"

namespace {

// 96 dots per inch on the offscreen platform: 15 twips a pixel.
int Px(double twips) { return static_cast<int>(std::lround(twips / 15.0)); }

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private:
  test::FixedClock clock_{"07-12-2026"};
  std::vector<std::pair<QMessageBox::Icon, QString>> messages_;
  QStringList panelsAtMessage_;  // both panels' texts as each message came up
  int stores_ = 0;

  std::unique_ptr<MainWindow> NewForm() {
    auto form = std::make_unique<MainWindow>(clock_);
    form->setMessageBox([this, f = form.get()](QMessageBox::Icon icon, const QString& text) {
      messages_.emplace_back(icon, text);
      panelsAtMessage_ << f->panelText(1) + " | " + f->panelText(2);
    });
    messages_.clear();
    panelsAtMessage_.clear();
    return form;
  }

  // Writes the settings file as a user's editor would: the lines of `settings` as they are.
  void Store(const QByteArray& settings) {
    const QString dir = qEnvironmentVariable("XDG_CONFIG_HOME") + "/Kelvaron";
    QVERIFY(QDir().mkpath(dir));
    QFile file(dir + "/Kelvaron.conf");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Settings]\n" + settings);
    file.close();
    // QSettings rereads a file whose size or time changed; give each one a time of its own.
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(++stores_),
                             QFileDevice::FileModificationTime));
  }

 private slots:
  void initTestCase() {
    QVERIFY(qEnvironmentVariableIsSet("XDG_DATA_HOME"));
    QCOMPARE(QGuiApplication::primaryScreen()->logicalDotsPerInchX(), 96.0);
  }

  void placement_data() {
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QRect>("expected");
    // The offscreen screen is 800 x 800 pixels.
    const QRect defaults(Px(1000), Px(1000), Px(9500), Px(2000));
    QTest::newRow("nothing stored") << QByteArray() << "en_US" << defaults;
    QTest::newRow("only width") << QByteArray("MainWidth=12000\n") << "en_US"
                                << QRect(Px(1000), Px(1000), Px(12000), Px(2000));
    QTest::newRow("decimal comma as typed")
        << QByteArray("MainLeft=1500,5\n") << "de_DE" << defaults.translated(33, 0);
    QTest::newRow("decimal comma quoted")
        << QByteArray("MainLeft=\"1500,5\"\n") << "de_DE" << defaults.translated(33, 0);
    QTest::newRow("decimal comma where the point is the separator")
        << QByteArray("MainLeft=1500,5\n") << "en_US" << defaults;
    QTest::newRow("all four") << QByteArray(
                                     "MainLeft=0\nMainTop=150\nMainWidth=6000\n"
                                     "MainHeight=3000\n")
                              << "en_US" << QRect(0, Px(150), Px(6000), Px(3000));
    QTest::newRow("empty, malformed and 8-bit")
        << QByteArray("MainLeft=\nMainTop=top\nMainWidth=9500 twips\nMainHeight=\xE4\n") << "en_US"
        << defaults;
    QTest::newRow("sizes larger than the screen")
        << QByteArray("MainWidth=1e30\nMainHeight=20000\n") << "en_US"
        << QRect(Px(1000), Px(1000), 800, 800);
    QTest::newRow("wholly off the screen")
        << QByteArray("MainLeft=9000000\nMainTop=9000000\n") << "en_US" << defaults;
  }

  void placement() {
    QFETCH(QByteArray, settings);
    QFETCH(QString, locale);
    QFETCH(QRect, expected);
    Store(settings);
    QLocale::setDefault(QLocale(locale));
    auto form = NewForm();
    QLocale::setDefault(QLocale::c());
    QCOMPARE(form->storedPlacement(), expected);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->frameGeometry().size(), expected.size());
    QCOMPARE(form->frameGeometry().topLeft(), expected.topLeft());
    Store({});
  }

  void menu() {
    auto form = NewForm();
    QCOMPARE(form->windowTitle(), QString("Kelvaron"));
    // Kelvaron's own picture: without it the toolkit stands in its own, so the icon is never null.
    const QImage own = QImage(":/kelvaron.png").convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!own.isNull());
    QCOMPARE(form->windowIcon().pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32), own);
    const QList<QAction*> bar = form->menuBar()->actions();
    QCOMPARE(bar.size(), 1);
    QCOMPARE(bar[0]->text(), QString("&File"));
    QStringList captions;
    for (QAction* action : bar[0]->menu()->actions()) {
      captions << action->text();
      QVERIFY(!action->isSeparator());
      QVERIFY(action->shortcut().isEmpty());
      QVERIFY(action->isEnabled() && action->isVisible() && !action->isCheckable());
    }
    QCOMPARE(captions, (QStringList{"&Move to archive", "&Version", "E&xit"}));
  }

  void openShowsTheWindow() {
    const QPointer<MainWindow> window = MainWindow::Open(clock_);
    QVERIFY(window != nullptr);
    QVERIFY(window->isVisible());
    QCOMPARE(window->panelText(1), QString("From: "));
    QCOMPARE(window->panelText(2), QString("To: "));
    QCOMPARE(window->statusBar()->height(), Px(375));
    const auto panels = window->statusBar()->findChildren<QLabel*>();
    QCOMPARE(panels.size(), 2);
    QVERIFY(qAbs(panels[0]->width() - panels[1]->width()) <= 1);  // an odd pixel goes to one
    QVERIFY(panels[0]->minimumWidth() >= Px(1440));
    window->exitAction->trigger();
    QTRY_VERIFY(window == nullptr);  // unloaded
  }

  void version() {
    auto form = NewForm();
    form->versionAction->trigger();
    QCOMPARE(form->panelText(1), QString("Kelvaron version: 1.01 of 07-JUL-2002."));
    QVERIFY(!form->panelText(2).isEmpty());
    QVERIFY(form->panelText(2) != "To: ");
    QVERIFY(messages_.empty());
  }

  void panelsAfterRuns() {
    test::Station st;
    st.Basics(99999, 0, {"ARES"});
    st.Bulletin("000101", "ARES");
    st.Bulletin("000102", "WX");
    st.Write("Winpack/Bulls/MARKED.TXT", "000101,B\r\n000102,B\r\n");
    auto form = NewForm();
    form->show();
    form->ShowVersion();
    const QString credit = form->panelText(2);

    // Moved one, then the unselected one: panel 1 the last line, panel 2 the last copy, on
    // the screen already when the closing message comes up.
    form->archiveAction->trigger();
    QCOMPARE(messages_.size(), size_t{1});
    QCOMPARE(messages_[0], std::make_pair(QMessageBox::NoIcon, QString("Kelvaron is Finnished.")));
    const QString last = "C:\\Winpack\\Bulls\\2\\000102.TXT";
    const QString copy = "C:\\Winpack\\Archive\\Bulls\\Ares\\26120701.TXT";
    QCOMPARE(panelsAtMessage_[0], last + " | " + copy);
    QCOMPARE(form->panelText(1), last);
    QCOMPARE(form->panelText(2), copy);

    // A run that moves nothing leaves panel 2 alone.
    form->ShowVersion();
    form->archiveAction->trigger();
    QCOMPARE(form->panelText(1), QString("C:\\Winpack\\Bulls\\2\\000102.TXT"));
    QCOMPARE(form->panelText(2), credit);

    // A run that processes no line leaves both.
    st.Write("Winpack/Packet.ini", "PRUNE_SIZE=99999\r\n");
    form->ShowVersion();
    form->archiveAction->trigger();
    QCOMPARE(form->panelText(1), QString("Kelvaron version: 1.01 of 07-JUL-2002."));
    QCOMPARE(form->panelText(2), credit);
    QCOMPARE(messages_.back().second, QString("Kelvaron is Finnished."));
  }

  void errorsAreShownWithAnIcon() {
    test::Station st;
    st.Basics(99999, 0, {"ARES"});  // no MARKED.TXT
    auto form = NewForm();
    form->archiveAction->trigger();
    QCOMPARE(messages_.size(), size_t{1});
    QCOMPARE(messages_[0].first, QMessageBox::Critical);
    QVERIFY(messages_[0].second.contains("C:\\Winpack\\BULLS\\MARKED.TXT"));
  }

  void exitTouchesNoFile() {
    test::Station st;
    st.Basics(99999, 0, {"ARES"});
    st.Bulletin("000101", "ARES");
    st.Write("Winpack/Bulls/MARKED.TXT", "000101,B\r\n");
    const auto before = st.Snapshot();
    auto form = NewForm();
    form->show();
    form->exitAction->trigger();
    QVERIFY(!form->isVisible());
    QCOMPARE(st.Snapshot() == before, true);
    QVERIFY(messages_.empty());
  }
};

int main(int argc, char** argv) {
  // GLib and QSettings read these folders once per process.
  QTemporaryDir data, config;
  qputenv("XDG_DATA_HOME", data.path().toUtf8());
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  QApplication app(argc, argv);
  WindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_test.moc"
