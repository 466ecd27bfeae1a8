#include <windows.h>

#include <netfw.h>
#include <oleauto.h>

#include <algorithm>
#include <string>

#include "platform/LocalFirewall.h"
#include "platform/win32/Utf16.h"

namespace platform {

namespace {

// {E2B3C97F-6AE1-41AC-817A-F6F92166D7DD}, hnetcfg.dll's NetFwPolicy2.
constexpr CLSID kNetFwPolicy2 = {
    0xe2b3c97f, 0x6ae1, 0x41ac, {0x81, 0x7a, 0xf6, 0xf9, 0x21, 0x66, 0xd7, 0xdd}};

// Releases a COM pointer on every way out.
template <class T>
struct Held {
    T* p = nullptr;
    ~Held() {
        if (p != nullptr) {
            p->Release();
        }
    }
};

std::string Take(BSTR text) {
    std::string out = text == nullptr ? std::string() : Narrow(text, SysStringLen(text));
    SysFreeString(text);
    return out;
}

// "%SystemRoot%\system32\svchost.exe" as the program's path is written.
std::string Expanded(const std::string& path) {
    if (path.find('%') == std::string::npos) {
        return path;
    }
    const std::wstring wide = Widen(path);
    wchar_t out[MAX_PATH * 4];
    const DWORD n = ExpandEnvironmentStringsW(wide.c_str(), out, sizeof out / sizeof out[0]);
    return n == 0 || n > sizeof out / sizeof out[0] ? path : Narrow(out, n - 1);
}

void ReadRule(INetFwRule* rule, FirewallSnapshot* snapshot) {
    VARIANT_BOOL enabled = VARIANT_FALSE;
    NET_FW_RULE_DIRECTION direction = NET_FW_RULE_DIR_OUT;
    NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
    if (FAILED(rule->get_Enabled(&enabled)) || enabled == VARIANT_FALSE ||
        FAILED(rule->get_Direction(&direction)) || direction != NET_FW_RULE_DIR_IN ||
        FAILED(rule->get_Action(&action)) || action != NET_FW_ACTION_ALLOW) {
        return;
    }
    FirewallRule r;
    LONG value = 0;
    if (SUCCEEDED(rule->get_Profiles(&value))) {
        r.profiles = value;
    }
    if (SUCCEEDED(rule->get_Protocol(&value))) {
        r.protocol = value;
    }
    BSTR text = nullptr;
    r.ports = SUCCEEDED(rule->get_LocalPorts(&text)) ? Take(text) : "*";
    text = nullptr;
    r.program = SUCCEEDED(rule->get_ApplicationName(&text)) ? Expanded(Take(text)) : "";
    text = nullptr;
    r.service = SUCCEEDED(rule->get_ServiceName(&text)) ? Take(text) : "";
    text = nullptr;
    r.remote = SUCCEEDED(rule->get_RemoteAddresses(&text)) ? Take(text) : "*";
    snapshot->rules.push_back(r);
}

void ReadRules(INetFwPolicy2* policy, FirewallSnapshot* snapshot) {
    Held<INetFwRules> rules;
    Held<IUnknown> unknown;
    Held<IEnumVARIANT> each;
    if (FAILED(policy->get_Rules(&rules.p)) || FAILED(rules.p->get__NewEnum(&unknown.p)) ||
        FAILED(
            unknown.p->QueryInterface(__uuidof(IEnumVARIANT), reinterpret_cast<void**>(&each.p)))) {
        return;
    }
    VARIANT item;
    VariantInit(&item);
    ULONG got = 0;
    while (each.p->Next(1, &item, &got) == S_OK && got == 1) {
        Held<INetFwRule> rule;
        if (item.vt == VT_DISPATCH && item.pdispVal != nullptr &&
            SUCCEEDED(item.pdispVal->QueryInterface(__uuidof(INetFwRule),
                                                    reinterpret_cast<void**>(&rule.p)))) {
            ReadRule(rule.p, snapshot);
        }
        VariantClear(&item);
    }
}

FirewallSnapshot ReadPolicy() {
    FirewallSnapshot snapshot;
    Held<INetFwPolicy2> policy;
    if (FAILED(CoCreateInstance(kNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER,
                                __uuidof(INetFwPolicy2), reinterpret_cast<void**>(&policy.p)))) {
        return snapshot;
    }
    long types = 0;
    if (FAILED(policy.p->get_CurrentProfileTypes(&types))) {
        return snapshot;
    }
    for (const long type : {kFirewallDomain, kFirewallPrivate, kFirewallPublic}) {
        if ((types & type) == 0) {
            continue;
        }
        const auto profile = static_cast<NET_FW_PROFILE_TYPE2>(type);
        FirewallProfile p;
        p.type = type;
        VARIANT_BOOL flag = VARIANT_FALSE;
        if (FAILED(policy.p->get_FirewallEnabled(profile, &flag))) {
            return snapshot;
        }
        p.enabled = flag != VARIANT_FALSE;
        flag = VARIANT_FALSE;
        p.blockAllInbound = SUCCEEDED(policy.p->get_BlockAllInboundTraffic(profile, &flag)) &&
                            flag != VARIANT_FALSE;
        NET_FW_ACTION action = NET_FW_ACTION_BLOCK;
        p.defaultInboundAllows = SUCCEEDED(policy.p->get_DefaultInboundAction(profile, &action)) &&
                                 action == NET_FW_ACTION_ALLOW;
        snapshot.current.push_back(p);
    }
    if (std::any_of(snapshot.current.begin(), snapshot.current.end(),
                    [](const FirewallProfile& p) { return p.enabled; })) {
        ReadRules(policy.p, &snapshot);
    }
    snapshot.read = !snapshot.current.empty();
    return snapshot;
}

}  // namespace

// Reading the policy needs no administrator. COM is started for this call
// and stopped again, on whatever thread asks.
FirewallSnapshot ReadLocalFirewall() {
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    FirewallSnapshot snapshot;
    if (SUCCEEDED(started) || started == RPC_E_CHANGED_MODE) {
        snapshot = ReadPolicy();
    }
    if (SUCCEEDED(started)) {
        CoUninitialize();
    }
    return snapshot;
}

}  // namespace platform
