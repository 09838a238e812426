// HTML export: one page per chat in the output folder, its media copied
// into the folder's "files", the emoji images it uses in "emoji", the Kik
// emoticons in "kikemoji".
// The page holds the same bubbles as the bubble view.
#pragma once

#include "view/AbsFormatExport.h"
#include "view/ExportFile.h"

#include "model/KikRecords.h"

#include <QStringList>

#include <memory>

class HtmlExportBubbles;

class ExportMessagesHtml : public AbsFormatExport<_KikMessage>
{
public:
    // Creates "files" in the folder when missing; the page is folder/fileName.
    ExportMessagesHtml(const QString &folder, const QString &fileName);
    ~ExportMessagesHtml() override;

    void begin() override;
    void write(const _KikMessage *message) override;
    void end() override;

    // Media files this page copied into "files" (for removal on failure).
    QStringList copiedFiles() const;

private:
    QString m_folder;
    ExportFile m_file;
    std::unique_ptr<HtmlExportBubbles> m_bubbles;
    bool m_first = true;
    qint64 m_lastMinute = 0;
};
