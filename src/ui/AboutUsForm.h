// The About box: the program's name and version and the versions of the
// libraries it runs on.
#pragma once

#include <QDialog>
#include <QList>
#include <QPair>

class AboutUsForm : public QDialog
{
    Q_OBJECT
public:
    explicit AboutUsForm(QWidget *parent = nullptr);

    // (library, version) in the order the command-line tool prints them.
    static QList<QPair<QString, QString>> libraryVersions();
    // The text the form shows.
    static QString versionText();
};
