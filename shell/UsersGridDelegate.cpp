#include "UsersGridDelegate.h"

#include "EntryGuard.h"
#include "KeyFilters.h"
#include "Table1Model.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

UsersGridDelegate::UsersGridDelegate(Table1Model &model, QObject *filtroTeclas, QObject *parent)
    : QStyledItemDelegate(parent), m_model(&model), m_filtroTeclas(filtroTeclas)
{
}

QWidget *UsersGridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                         const QModelIndex &index) const
{
    auto *editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("InplaceEditor"));
    editor->setFrame(false);
    if (index.column() == Table1Model::VALID_UNTIL)
        return dateEditor(editor, index);
    const int size = m_model->fieldSize(index.column());
    if (size > 0)
        editor->setMaxLength(size);
    const QString campo = Table1Model::campo(index.column());
    new EntryGuard(
        *editor, [campo](const QString &, QChar c) { return DBGrid1TextChar(campo, c); },
        size > 0 ? size : -1);
    editor->setContextMenuPolicy(Qt::NoContextMenu);
    editor->setAcceptDrops(false);
    if (m_filtroTeclas)
        editor->installEventFilter(m_filtroTeclas);
    m_editor = editor;
    m_indice = index;
    return editor;
}

// Takes the digits and dashes of YYYY-MM-DD as they are typed; whether they make a date is the
// model's to say when the cell is left, so a half-typed date does not hold the editor open.
QWidget *UsersGridDelegate::dateEditor(QLineEdit *editor, const QModelIndex &index) const
{
    static const QRegularExpression form(QStringLiteral("\\d{0,4}(-\\d{0,2}(-\\d{0,2})?)?"));
    editor->setMaxLength(DATE_LENGTH);
    editor->setValidator(new QRegularExpressionValidator(form, editor));
    editor->setContextMenuPolicy(Qt::NoContextMenu);
    editor->setAcceptDrops(false);
    if (m_filtroTeclas)
        editor->installEventFilter(m_filtroTeclas);
    m_editor = editor;
    m_indice = index;
    return editor;
}

void UsersGridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    // The cell's value as the table holds it, not as typing would have made it.
    if (auto *edit = qobject_cast<QLineEdit *>(editor); EntryGuard::de(edit))
        EntryGuard::muestra(edit, index.data(Qt::EditRole).toString());
    else
        QStyledItemDelegate::setEditorData(editor, index);
}

void UsersGridDelegate::destroyEditor(QWidget *editor, const QModelIndex &index) const
{
    if (editor == m_editor) {
        m_editor = nullptr;
        m_indice = QPersistentModelIndex();
    }
    QStyledItemDelegate::destroyEditor(editor, index);
}

QLineEdit *UsersGridDelegate::editor() const
{
    return m_editor;
}

void UsersGridDelegate::confirmaEditor()
{
    if (m_editor && m_indice.isValid())
        setModelData(m_editor, m_model, m_indice);
}
