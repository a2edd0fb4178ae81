// An in-memory stand-in for the registry behind CRegSettingsMngr, with the
// same rules: value operations never create keys; reads of a missing key or
// value, or of one that does not fit, give their default.
#pragma once

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/reg_settings.h"

class FakeRegistry : public CRegSettingsMngr {
public:
    struct Value {
        uint32_t type = 0;  // 1 REG_SZ, 3 REG_BINARY, 4 REG_DWORD, 11 REG_QWORD
        std::vector<uint8_t> bytes;
    };

    void AddKey(SettingsKey key) { m_keys.insert(key); }
    bool HasKey(SettingsKey key) const { return m_keys.count(key) != 0; }
    const Value* Find(SettingsKey key, const std::u16string& name) const {
        auto it = m_values.find({key, name});
        return it == m_values.end() ? nullptr : &it->second;
    }
    int writes = 0;

    int32_t SetDword(SettingsKey key, const char16_t* name, uint32_t value) override {
        return Put(key, name, 4, &value, 4);
    }
    int32_t SetQword(SettingsKey key, const char16_t* name, uint64_t value) override {
        return Put(key, name, 11, &value, 8);
    }
    int32_t SetString(SettingsKey key, const char16_t* name, const char16_t* value) override {
        const std::u16string text(value);
        return Put(key, name, 1, text.c_str(), (text.size() + 1) * 2);
    }
    int32_t SetBinary(SettingsKey key, const char16_t* name, const uint8_t* bytes,
                      uint32_t byteCount) override {
        return Put(key, name, 3, bytes, byteCount);
    }
    uint32_t GetDword(SettingsKey key, const char16_t* name, uint32_t def) override {
        uint32_t v = 0;
        return Get(key, name, &v, 4) ? v : def;
    }
    uint64_t GetQword(SettingsKey key, const char16_t* name, uint64_t def) override {
        uint64_t v = 0;
        return Get(key, name, &v, 8) ? v : def;
    }
    bool GetString(SettingsKey key, const char16_t* name, char16_t* buffer, uint32_t capacity,
                   const char16_t* def) override {
        std::vector<char16_t> tmp(capacity, 0);
        if (HasKey(key) && Get(key, name, tmp.data(), capacity * 2)) {
            tmp[capacity - 1] = 0;
            std::memcpy(buffer, tmp.data(), capacity * 2);
            return true;
        }
        std::u16string d(def);
        d.resize(std::min<size_t>(d.size(), capacity - 1));
        std::memcpy(buffer, d.c_str(), (d.size() + 1) * 2);
        return false;
    }
    bool GetBinary(SettingsKey key, const char16_t* name, uint8_t* bytes,
                   uint32_t& byteCount) override {
        const Value* v = HasKey(key) ? Find(key, name) : nullptr;
        if (!v || v->bytes.size() > byteCount) {
            byteCount = 0;
            return false;
        }
        std::memcpy(bytes, v->bytes.data(), v->bytes.size());
        byteCount = static_cast<uint32_t>(v->bytes.size());
        return true;
    }
    int32_t DeleteValue(SettingsKey key, const char16_t* name) override {
        if (!HasKey(key))
            return 2;
        return m_values.erase({key, name}) ? 0 : 2;
    }
    int32_t CreateKey(SettingsKey key) override {
        m_keys.insert(key);
        return 0;
    }

private:
    int32_t Put(SettingsKey key, const char16_t* name, uint32_t type, const void* data,
                size_t size) {
        if (!HasKey(key))
            return 2;
        Value v{type, std::vector<uint8_t>(static_cast<const uint8_t*>(data),
                                           static_cast<const uint8_t*>(data) + size)};
        m_values[{key, name}] = std::move(v);
        ++writes;
        return 0;
    }
    bool Get(SettingsKey key, const char16_t* name, void* out, size_t capacity) {
        const Value* v = HasKey(key) ? Find(key, name) : nullptr;
        if (!v || v->bytes.size() > capacity)
            return false;
        std::memcpy(out, v->bytes.data(), v->bytes.size());
        return true;
    }

    std::set<int32_t> m_keys;
    std::map<std::pair<int32_t, std::u16string>, Value> m_values;
};
