#include "view/gui/KikMsgPrinter.h"

#include "app/Translation.h"
#include "model/MessageOrder.h"
#include "view/MsgPagePainter.h"

#include <QPrintPreviewDialog>
#include <QPrinter>

#include <exception>

KikMsgPrinter::KikMsgPrinter(QWidget *parent) : QObject(parent), m_parent(parent) {}

void KikMsgPrinter::setMessages(const KikMessageList &messages)
{
    m_messages = messages;
    sortMessagesByTime(m_messages);
}

void KikMsgPrinter::print(const KikMessageList &messages)
{
    setMessages(messages);
    QPrinter printer(QPrinter::ScreenResolution);
    QPrintPreviewDialog dialog(&printer, m_parent);
    dialog.setWindowTitle(ids("IDS_PRINT_MESSAGES"));
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, &KikMsgPrinter::onPaintRequested);
    dialog.exec();
}

void KikMsgPrinter::onPaintRequested(QPrinter *printer)
{
    MsgPagePainter painter;
    try {
        painter.begin(printer);
        for (const _KikMessage *message : std::as_const(m_messages))
            painter.paint(message);
        painter.end();
    } catch (const std::exception &) {
        painter.end();
    }
}
