#pragma once

#include "batch/frmbatch.h"

#include <functional>

class Platform;
class PrintJournal;
class QWidget;

// The packing table's windows, as the batch window and the 工具 menu open
// them: the picking list, the packing slips, 验货 and 日结.
class PackingWindows
{
public:
    // Opens the batch window on a batch's row, for 日结's 打开.
    using OpenBatchRow = std::function<void(QWidget *parent, const QString &fileName, const QString &rowId)>;
    using SaveFile = frmBatch::SaveFile;

    PackingWindows(Platform &platform, PrintJournal &journal, SaveFile saveFile, OpenBatchRow openBatchRow);

    // What the batch window is given to reach them.
    frmBatch::PackingTools batchTools() const;
    // 验货 of today's newest batch (or else the newest), from the 工具 menu.
    void checkNewestBatch(QWidget *parent) const;
    // 日结 of today.
    void closeDay(QWidget *parent) const;

private:
    Platform &m_platform;
    PrintJournal &m_journal;
    SaveFile m_saveFile;
    OpenBatchRow m_openBatchRow;
};
