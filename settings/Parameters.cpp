#include "settings/Parameters.h"

#include "platform/DateTime.h"
#include "platform/UserDirs.h"

#include <QLocale>

#include <cmath>
#include <cstring>

namespace vidorel {

TParameter::TParameter(std::string name, TparameterList* owner)
    : Name(std::move(name)), Owner(owner) {
    if (owner != nullptr) {
        owner->Add(this);
    }
}

TIntegerParameter::TIntegerParameter(std::string name, int32_t def, TparameterList* owner,
                                     int32_t min, int32_t max)
    : TParameter(std::move(name), owner), Value(def), DefaultValue(def), Min(min), Max(max) {}

void TIntegerParameter::Load(TRegistry& reg) {
    const auto v = reg.ReadDWord(Name);
    const int32_t n = v ? static_cast<int32_t>(*v) : DefaultValue;
    Value = v && n >= Min && n <= Max ? n : DefaultValue;
}

void TIntegerParameter::Save(TRegistry& reg) {
    reg.WriteDWord(Name, static_cast<uint32_t>(Value));
}

TRealParameter::TRealParameter(std::string name, double def, TparameterList* owner, double min,
                               double max, bool exclusiveMin)
    : TParameter(std::move(name), owner), Value(def), DefaultValue(def), Min(min), Max(max),
      ExclusiveMin(exclusiveMin) {}

void TRealParameter::Load(TRegistry& reg) {
    Value = DefaultValue;
    const auto bytes = reg.ReadBinary(Name);
    if (!bytes || bytes->size() != 8) {
        return;
    }
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | static_cast<unsigned char>((*bytes)[i]);
    }
    double d;
    std::memcpy(&d, &bits, sizeof d);
    const bool aboveMin = ExclusiveMin ? d > Min : d >= Min;
    if (std::isfinite(d) && aboveMin && d <= Max) {
        Value = d / StoreScale;
    }
}

void TRealParameter::Save(TRegistry& reg) {
    const double stored = Value * StoreScale;
    uint64_t bits;
    std::memcpy(&bits, &stored, sizeof bits);
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
    reg.WriteBinary(Name, bytes);
}

TStringParameter::TStringParameter(std::string name, std::string def, TparameterList* owner)
    : TParameter(std::move(name), owner), Value(def), DefaultValue(std::move(def)) {}

void TStringParameter::Load(TRegistry& reg) {
    const auto v = reg.ReadString(Name);
    Value = v && !v->empty() ? *v : DefaultValue;
}

void TStringParameter::Save(TRegistry& reg) {
    reg.WriteString(Name, Value);
}

TBooleanParameter::TBooleanParameter(std::string name, bool def, TparameterList* owner)
    : TParameter(std::move(name), owner), Value(def), DefaultValue(def) {}

void TBooleanParameter::Load(TRegistry& reg) {
    const auto v = reg.ReadDWord(Name);
    Value = v ? *v != 0 : DefaultValue;
}

void TBooleanParameter::Save(TRegistry& reg) {
    reg.WriteDWord(Name, Value ? 1 : 0);
}

TFontParameter::TFontParameter(std::string name, const TFont& def, TparameterList* owner)
    : TParameter(std::move(name), owner), Font(def), DefaultFont(def) {}

void TFontParameter::Load(TRegistry& reg) {
    const std::string mainKey = Owner->KeyPath;
    const std::string sub = mainKey + "\\" + Name;
    Font = DefaultFont;
    if (!reg.OpenKey(sub, false)) {
        reg.OpenKey(mainKey, false);
        return;
    }
    if (const auto v = reg.ReadDWord("Size")) {
        // a point size that cannot be drawn is as good as missing
        const int32_t size = static_cast<int32_t>(*v);
        Font.Size = size > 0 && size <= 1000 ? size : DefaultFont.Size;
    }
    if (const auto v = reg.ReadDWord("Color")) {
        Font.Color = *v;
    }
    if (const auto v = reg.ReadString("Name"); v && !v->empty()) {
        Font.Name = *v;
    }
    const struct {
        const char* name;
        bool TFont::*flag;
    } styles[] = {{"Bold", &TFont::Bold},
                  {"Italic", &TFont::Italic},
                  {"Underline", &TFont::Underline},
                  {"StrikeOut", &TFont::StrikeOut}};
    for (const auto& s : styles) {
        if (const auto v = reg.ReadDWord(s.name)) {
            Font.*(s.flag) = *v != 0;
        }
    }
    reg.OpenKey(mainKey, false);
}

void TFontParameter::Save(TRegistry& reg) {
    const std::string mainKey = Owner->KeyPath;
    if (reg.OpenKey(mainKey + "\\" + Name, true)) {
        reg.WriteDWord("Size", static_cast<uint32_t>(Font.Size));
        reg.WriteDWord("Color", Font.Color);
        reg.WriteString("Name", Font.Name);
        reg.WriteDWord("Bold", Font.Bold ? 1 : 0);
        reg.WriteDWord("Italic", Font.Italic ? 1 : 0);
        reg.WriteDWord("Underline", Font.Underline ? 1 : 0);
        reg.WriteDWord("StrikeOut", Font.StrikeOut ? 1 : 0);
    }
    reg.OpenKey(mainKey, true);
}

TOrdinalParameter::TOrdinalParameter(std::string name, uint8_t def, TparameterList* owner,
                                     uint8_t max)
    : TParameter(std::move(name), owner), Value(def), DefaultValue(def), Max(max) {}

void TOrdinalParameter::Load(TRegistry& reg) {
    const auto v = reg.ReadDWord(Name);
    const uint8_t b = v ? static_cast<uint8_t>(*v & 0xFF) : DefaultValue;
    Value = b <= Max ? b : DefaultValue;
}

void TOrdinalParameter::Save(TRegistry& reg) {
    reg.WriteDWord(Name, Value);
}

TparameterList::TparameterList(std::string keyPath, std::string signature, RegistryFile file)
    : KeyPath(std::move(keyPath)), Signature(std::move(signature)), File(std::move(file)) {}

TParameter* TparameterList::Find(const std::string& name) const {
    for (TParameter* p : Items) {
        if (p->Name == name) {
            return p;
        }
    }
    return nullptr;
}

void TparameterList::NoteStore(const StoreStatus& status) {
    if (Store.problem.empty()) {
        Store.problem = status.problem;
    }
    Store.mayWrite = Store.mayWrite && status.mayWrite;
}

void TparameterList::LoadAll() {
    Store = StoreStatus();
    TRegistry reg(File);
    NoteStore(reg.Status());
    Registry = &reg;
    if (reg.OpenKey(KeyPath, false)) {
        for (TParameter* p : Items) {
            p->Load(reg);
        }
    }
    Registry = nullptr;
}

bool TparameterList::SaveAll() {
    if (!Store.mayWrite) {
        return false;
    }
    TRegistry reg(File);
    Registry = &reg;
    bool ok = reg.OpenKey(KeyPath, true);
    if (ok) {
        reg.WriteString("Signature", Signature);
        reg.WriteString("Derniere Sauvegarde", LastSaveStamp(Now()));
        reg.WriteString("ExeName", ExecutablePath());
        for (TParameter* p : Items) {
            p->Save(reg);
        }
        ok = reg.Commit();
    }
    Registry = nullptr;
    if (!reg.Status().problem.empty()) {
        Store.problem = reg.Status().problem;
    }
    return ok;
}

std::string LastSaveStamp(double dateTime) {
    const DecodedDateTime d = DecodeDateTime(dateTime);
    const QLocale locale;
    const std::string ds = DateSeparator(locale).toStdString();
    const std::string ts = TimeSeparator(locale).toStdString();
    const int hour12 = d.hour % 12 == 0 ? 12 : d.hour % 12;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d%s%02d%s%02d %02d%s%02d%s%02d %s", d.year, ds.c_str(),
                  d.month, ds.c_str(), d.day, hour12, ts.c_str(), d.minute, ts.c_str(), d.second,
                  d.hour < 12 ? "am" : "pm");
    return buf;
}

} // namespace vidorel
