#include "UsersGridSelection.h"

#include <utility>

UsersGridSelection::UsersGridSelection(QAbstractItemModel *model, QObject *parent)
    : QItemSelectionModel(model, parent)
{
}

void UsersGridSelection::setCurrentIndex(const QModelIndex &index,
                                         QItemSelectionModel::SelectionFlags command)
{
    if (!index.isValid() || !m_mover) {
        QItemSelectionModel::setCurrentIndex(index, command);
        return;
    }
    const QModelIndex destino = m_mover(index);
    if (!destino.isValid())
        return;
    const bool antes = std::exchange(m_seleccionando, true);
    QItemSelectionModel::setCurrentIndex(destino, QItemSelectionModel::ClearAndSelect);
    m_seleccionando = antes;
}

// Selections the view makes on its own (a click, a drag) would show a cell as chosen that the
// table may have refused to move to.
void UsersGridSelection::select(const QModelIndex &index, QItemSelectionModel::SelectionFlags command)
{
    if (m_seleccionando || !index.isValid())
        QItemSelectionModel::select(index, command);
}

void UsersGridSelection::select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command)
{
    if (m_seleccionando || selection.isEmpty())
        QItemSelectionModel::select(selection, command);
}
