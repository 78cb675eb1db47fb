#include "trace_model.h"

#include <climits>

#include "ui_support.h"

TraceModel::TraceModel(const kovar::TraceLog& log, QObject* parent)
    : QAbstractListModel(parent), log_(log), generation_(log.generation()) {
    sync();
}

int TraceModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant TraceModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_)
        return {};
    return kovar::ui::Q(log_.line(static_cast<std::size_t>(index.row())));
}

bool TraceModel::sync() {
    // A view holds at most INT_MAX rows; lines beyond that stay in the log.
    const int target = static_cast<int>(std::min<std::size_t>(log_.size(), INT_MAX));
    if (generation_ != log_.generation()) {
        beginResetModel();
        generation_ = log_.generation();
        rows_ = target;
        endResetModel();
        return true;
    }
    if (target > rows_) {
        beginInsertRows(QModelIndex(), rows_, target - 1);
        rows_ = target;
        endInsertRows();
        return true;
    }
    if (target < rows_) { // cannot happen without a Clear, but stay consistent
        beginResetModel();
        rows_ = target;
        endResetModel();
        return true;
    }
    return false;
}
