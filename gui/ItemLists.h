// List boxes and combo boxes as the data classes fill them (IItemList): a
// caption with a number attached to each item. Every item keeps the bytes it
// was given, so a text reads back exactly as stored even when it is not valid
// UTF-8 (a status or department text is the key of its record).
#pragma once

#include "board/Seams.h"

#include <optional>
#include <string>

class QComboBox;
class QListWidget;

/// A list box. A sorted one orders its items as the user's language does.
class TListBoxItems final : public IItemList {
public:
    TListBoxItems(QListWidget &widget, bool sorted);

    /// Suspends repainting until the matching EndUpdate; calls nest.
    void BeginUpdate() override;
    void EndUpdate() override;
    void Clear() override;
    void AddItem(const std::string &caption, int32_t data) override;
    std::optional<int32_t> SelectedData() const override;

    /// The caption of the selected item, byte for byte as it was added.
    std::optional<std::string> SelectedText() const;
    int Count() const;
    /// The caption of the item at a position of the list as shown.
    std::string Text(int index) const;
    QListWidget &Widget() const { return FWidget; }

private:
    QListWidget &FWidget;
    int FUpdateDepth = 0;
};

/// A drop-down list. A sorted one orders its items as the user's language does.
class TComboItems final : public IItemList {
public:
    TComboItems(QComboBox &widget, bool sorted);

    void BeginUpdate() override;
    void EndUpdate() override;
    /// Removes every item; nothing is selected afterwards.
    void Clear() override;
    void AddItem(const std::string &caption, int32_t data) override;
    std::optional<int32_t> SelectedData() const override;

    /// The caption of the selected item, byte for byte; empty when none is selected.
    std::string SelectedText() const;
    /// Selects, from the top, the first item whose caption equals text
    /// exactly (letter case counts); selects nothing when none does.
    /// True when one was selected.
    bool SelectExact(const std::string &text);
    /// Selects the item at index (-1: none).
    void Select(int index);
    int Count() const;
    std::string Text(int index) const;
    QComboBox &Widget() const { return FWidget; }

private:
    QComboBox &FWidget;
    bool FSorted;
    int FUpdateDepth = 0;
};
