// Walks the main window through its main states and saves a picture of
// each (for the README): a chat in bubbles, a local database in the list,
// and a progress dialog over the window. Quits the application when done.
#pragma once

#include <QObject>
#include <QString>

class MainWindow;

class ScreenshotTour : public QObject
{
    Q_OBJECT
public:
    ScreenshotTour(MainWindow *window, const QString &folder);
    void start();

private:
    void step();
    bool save(QWidget *widget, const QString &name);

    MainWindow *m_window;
    QString m_folder;
    int m_step = 0;
};
