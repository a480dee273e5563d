#pragma once

#include <QPersistentModelIndex>
#include <QPointer>
#include <QStyledItemDelegate>

class QLineEdit;
class Table1Model;

// The users grid's cell editor: a line edit that takes no more characters than the field's
// size, sends its keys through filtroTeclas, and applies the column's key filter to text that
// comes in any other way. The end date column's editor takes a date as YYYY-MM-DD.
class UsersGridDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    UsersGridDelegate(Table1Model &model, QObject *filtroTeclas, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void destroyEditor(QWidget *editor, const QModelIndex &index) const override;

    // The open cell editor, null when none.
    QLineEdit *editor() const;
    QModelIndex indiceEditor() const { return m_indice; }
    // Writes the open editor's text into its cell, as closing the editor would.
    void confirmaEditor();

private:
    static constexpr int DATE_LENGTH = 10;

    QWidget *dateEditor(QLineEdit *editor, const QModelIndex &index) const;

    Table1Model *m_model = nullptr;
    QPointer<QObject> m_filtroTeclas;
    mutable QPointer<QLineEdit> m_editor;
    mutable QPersistentModelIndex m_indice;
};
