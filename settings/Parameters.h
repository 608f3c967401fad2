#pragma once

// Typed preferences that read and write themselves from one key of the per-user store, and the
// ordered list that loads and saves all of them in one pass.

#include "platform/RegistryStore.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vidorel {

class TparameterList;

class TParameter {
public:
    TParameter(std::string name, TparameterList* owner);
    virtual ~TParameter() = default;
    TParameter(const TParameter&) = delete;
    TParameter& operator=(const TParameter&) = delete;

    // Reads the value from the owner's open key; anything unreadable leaves the default.
    virtual void Load(TRegistry& reg) = 0;
    virtual void Save(TRegistry& reg) = 0;
    // Puts the default back (used when a stored value is unusable).
    virtual void Reset() = 0;

    const std::string Name;
    TparameterList* const Owner;
};

class TIntegerParameter : public TParameter {
public:
    TIntegerParameter(std::string name, int32_t def, TparameterList* owner, int32_t min = INT32_MIN,
                      int32_t max = INT32_MAX);
    void Load(TRegistry& reg) override;
    void Save(TRegistry& reg) override;
    void Reset() override { Value = DefaultValue; }

    int32_t Value;
    int32_t DefaultValue;
    const int32_t Min, Max;
};

class TRealParameter : public TParameter {
public:
    // A stored value that is not finite, or outside [min, max], or not above `min` when
    // `exclusiveMin`, loads as the default.
    TRealParameter(std::string name, double def, TparameterList* owner, double min, double max,
                   bool exclusiveMin = false);
    void Load(TRegistry& reg) override;
    void Save(TRegistry& reg) override;
    void Reset() override { Value = DefaultValue; }

    double Value;
    double DefaultValue;
    const double Min, Max;
    const bool ExclusiveMin;
    // The stored number is Value × StoreScale (Min and Max bound the stored number): a value
    // kept in one unit in memory and in another in the store.
    double StoreScale = 1.0;
};

class TStringParameter : public TParameter {
public:
    TStringParameter(std::string name, std::string def, TparameterList* owner);
    void Load(TRegistry& reg) override;
    void Save(TRegistry& reg) override;
    void Reset() override { Value = DefaultValue; }

    std::string Value;
    std::string DefaultValue;
};

class TBooleanParameter : public TParameter {
public:
    TBooleanParameter(std::string name, bool def, TparameterList* owner);
    void Load(TRegistry& reg) override;
    void Save(TRegistry& reg) override;
    void Reset() override { Value = DefaultValue; }

    bool Value;
    bool DefaultValue;
};

// A font as the settings know it; the overlay turns it into a drawing font.
struct TFont {
    std::string Name = "Arial";
    int32_t Size = 21;
    // 0x00BBGGRR
    uint32_t Color = 0xFFFFFF;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;

    friend bool operator==(const TFont&, const TFont&) = default;
};

class TFontParameter : public TParameter {
public:
    // `def` is referenced, not copied: it must outlive the parameter.
    TFontParameter(std::string name, const TFont& def, TparameterList* owner);
    void Load(TRegistry& reg) override;
    void Save(TRegistry& reg) override;
    void Reset() override { Font = DefaultFont; }

    TFont Font;
    const TFont& DefaultFont;
};

// The five one-byte ordinal kinds: the stored DWORD's low 8 bits are kept. A value above `Max`
// loads as the default.
class TOrdinalParameter : public TParameter {
public:
    TOrdinalParameter(std::string name, uint8_t def, TparameterList* owner, uint8_t max);
    void Load(TRegistry& reg) override;
    void Save(TRegistry& reg) override;
    void Reset() override { Value = DefaultValue; }

    uint8_t Value;
    uint8_t DefaultValue;
    const uint8_t Max;
};

class TframeNumberParameter : public TOrdinalParameter {
public:
    using TOrdinalParameter::TOrdinalParameter;
};
class TAspectRatioParameter : public TOrdinalParameter {
public:
    using TOrdinalParameter::TOrdinalParameter;
};
class TFormatCaptureParameter : public TOrdinalParameter {
public:
    using TOrdinalParameter::TOrdinalParameter;
};
class TTVstandardParameter : public TOrdinalParameter {
public:
    using TOrdinalParameter::TOrdinalParameter;
};
class TFrequenceDVParameter : public TOrdinalParameter {
public:
    using TOrdinalParameter::TOrdinalParameter;
};

class TparameterList {
public:
    // `keyPath` is relative to the current user's root ("\Software\Marlott\Vidorel").
    TparameterList(std::string keyPath, std::string signature,
                   RegistryFile file = RegistryFile(RegistryFile::DefaultPath()));

    // Loads every parameter in list order; when the key does not exist, every parameter keeps
    // its default and nothing is written. Sets `Store` afresh.
    void LoadAll();
    // Writes the header values and every parameter in list order, in one atomic replacement of
    // the store. False when the store could not be written (nothing is then changed), and
    // without touching the file when the last load found a store to leave alone.
    bool SaveAll();
    // Adds what one read of the store met to `Store`: the first sentence is kept, and one
    // store to leave alone is enough to forbid saving.
    void NoteStore(const StoreStatus& status);

    void Add(TParameter* p) { Items.push_back(p); }
    TParameter* Find(const std::string& name) const;

    const std::string KeyPath;
    const std::string Signature;
    const RegistryFile File;
    std::vector<TParameter*> Items; // not owned
    // What the store met at the last load, or at a later save that failed. When the load found
    // a store to leave alone (unreadable, not a regular file, damaged with no room to keep it
    // aside), the values are defaults and `mayWrite` stays false until the next load: saving
    // them would replace the user's real settings.
    StoreStatus Store;
    // Open only while LoadAll or SaveAll runs.
    TRegistry* Registry = nullptr;
};

// "yyyy/mm/dd hh:mm:ss am/pm" on the 12-hour clock with the locale's separators.
std::string LastSaveStamp(double dateTime);

} // namespace vidorel
