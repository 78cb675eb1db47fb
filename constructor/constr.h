// TForm4: the instruction constructor window.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <string>

#include "machine_state.h"
#include "views.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// The instruction constructor ("Конструктор команд"): assembles one
// instruction word from named fields and stores it into memory at PC.
class TForm4 : public QWidget {
    Q_OBJECT
public:
    // `views` is the simulator window, redrawn after a store (memory and PC)
    // and after the PC field here is left (PC).
    TForm4(kovar::MachineState& state, kovar::MachineViews& views, QWidget* parent = nullptr);
    ~TForm4() override;

    // The class bits of each "Команда" entry, bit 31 first.
    static const std::array<QString, 9> CommandCodes;
    // The 7-bit code of each "Операция" entry, most significant bit first.
    static const std::array<QString, 28> OperCodes;
    // Per "Команда" entry, one '1' (enabled) or '0' per field control, in
    // the order of fieldControls().
    static const std::array<QString, 9> FieldEnableTable;

    // The word under construction: 32 characters, position 1 is bit 31. It
    // holds '0' and '1' unless a foreign character was typed into "Адрес" or
    // "Смещение"; it is kept in characters, never cut inside one.
    QString WordBits() const { return QString::fromStdU32String(wordBits_); }

    // Overwrites WordBits from `position` (1 to 32) with `text`, dropping what
    // would fall beyond position 32, and redraws both word labels.
    void Replace(const QString& text, int position);
    // Enables the field controls of the chosen class, disables the others.
    void EnableField();

    // Shows PC in EditPC, unless the user has typed there and not yet left
    // the field: that text is theirs and is committed when they leave it.
    void ShowPC();

    // The 15 field controls in the order of FieldEnableTable's columns.
    std::array<QWidget*, 15> fieldControls() const;

    // Controls, in tab order.
    QComboBox* Command;
    QLineEdit* Adress;
    QCheckBox* Return;
    QComboBox* Source;
    QComboBox* Dest;
    QComboBox* Stack;
    QLineEdit* Offset;
    QCheckBox* ALU_FL;
    QComboBox* Cond;
    QComboBox* Carry;
    QCheckBox* EnableFL;
    QComboBox* Oper;
    QComboBox* Arrow;
    QCheckBox* RSR;
    QComboBox* SpecOp;
    QCheckBox* SourceFL;
    QFrame* Panel1;
    QLineEdit* EditPC;
    QPushButton* InsertIR;

    // The word as binary and hexadecimal text.
    QLabel* LabelBin;
    QLabel* LabelHex;

    // Captions of the fields.
    QLabel* Label1;  // Команда
    QLabel* Label2;  // Адрес
    QLabel* Label3;  // Источник (B)
    QLabel* Label4;  // Получатель (A)
    QLabel* Label5;  // Стек
    QLabel* Label6;  // Условие
    QLabel* Label7;  // Перенос
    QLabel* Label8;  // Операция
    QLabel* Label9;  // Смещение
    QLabel* Label10; // Направление сдвига
    QLabel* Label11; // Спец. Опреации
    QLabel* Label12; // Bin
    QLabel* Label13; // Hex
    QLabel* Label14; // PC

    // Event handlers.
    void CommandChange();
    void AdressExit();
    void ReturnClick();
    void SourceChange();
    void DestChange();
    void StackChange();
    void OffsetExit();
    void ALU_FLClick();
    void CondChange();
    void CarryChange();
    void EnableFLClick();
    void OperChange();
    void ArrowChange();
    void RSRClick();
    void SpecOpChange();
    void SourceFLClick();
    void EditPCExit();
    void InsertIRClick();

signals:
    // The user changed the machine here: a word stored, or PC set.
    void edited();

private:
    void FormCreate();
    void buildControls();
    void connectHandlers();
    // Writes the `bits` low-order bits of a list's chosen index at `position`.
    void writeIndex(const QComboBox* list, int bits, int position);
    // Writes "1" or "0" at `position` by the state of a check box.
    void writeCheck(const QCheckBox* box, int position);
    void showWord();
    // Shows every field control as holding no code, as after a class choice.
    void clearFields();

    kovar::MachineState& st_;
    kovar::MachineViews& views_;
    std::u32string wordBits_;
};
