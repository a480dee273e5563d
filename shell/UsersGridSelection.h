#pragma once

#include <QItemSelectionModel>

#include <functional>

// The users grid's current cell, which is also the table's current row: every change of the
// current index (keys, mouse, editors closing, code) first asks the table to move, and a
// refused move leaves the current cell where it is. The selection is always the current cell.
class UsersGridSelection : public QItemSelectionModel
{
    Q_OBJECT
public:
    // Given the index the view wants to make current, returns the index to make current (the
    // move may have moved the rows) or an invalid index to stay.
    using Mover = std::function<QModelIndex(const QModelIndex &destino)>;

    explicit UsersGridSelection(QAbstractItemModel *model, QObject *parent = nullptr);

    void setMover(Mover mover) { m_mover = std::move(mover); }

    void setCurrentIndex(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command) override;

private:
    Mover m_mover;
    bool m_seleccionando = false;
};
