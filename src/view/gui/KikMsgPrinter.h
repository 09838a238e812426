// Printing of messages: a print preview whose pages are painted as bubbles.
#pragma once

#include "model/KikRecords.h"

#include <QObject>

class QPrinter;
class QWidget;

class KikMsgPrinter : public QObject
{
    Q_OBJECT
public:
    explicit KikMsgPrinter(QWidget *parent = nullptr);

    // Sorts the messages by time and runs the print preview dialog.
    void print(const KikMessageList &messages);
    // The list as it will be printed (after print() or setMessages()).
    void setMessages(const KikMessageList &messages);
    const KikMessageList &messages() const { return m_messages; }

public Q_SLOTS:
    // Paints every message onto the printer; a printer that cannot start
    // painting leaves the preview empty.
    void onPaintRequested(QPrinter *printer);

private:
    QWidget *m_parent;
    KikMessageList m_messages;
};
