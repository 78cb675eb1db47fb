// A read-only list model that shows the TraceLog itself, not a copy. The
// model learns of new lines only when sync() is called, so a Run that
// appends thousands of lines costs one row insertion.
#pragma once

#include <QAbstractListModel>
#include <cstdint>

#include "trace_log.h"

class TraceModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit TraceModel(const kovar::TraceLog& log, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Brings the model up to the log: new lines become new rows; a cleared
    // log resets the model. Returns true when rows changed.
    bool sync();

private:
    const kovar::TraceLog& log_;
    int rows_ = 0;
    uint64_t generation_ = 0;
};
