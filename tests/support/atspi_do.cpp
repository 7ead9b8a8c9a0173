// A screen reader's hand, for tests: over the real AT-SPI bus, finds a control
// of the application with process id PID by its kind and its accessible name,
// and does one of its actions, as an assistive technology would.
//   atspi_do PID button|item NAME ACTION...
// "button": a push button, toggle or check box anywhere in the application;
// "item": a menu item under its menu bar. The first of the ACTIONs that the
// control offers is done. Exit status 0 when it was done; 1 with a reason on
// the error output otherwise.
#include <atspi/atspi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Take(gchar *Text)
{
    std::string S = Text ? Text : "";
    g_free(Text);
    return S;
}

std::string RoleName(AtspiAccessible *Node)
{
    return Take(atspi_accessible_get_role_name(Node, nullptr));
}

bool IsKind(const std::string &Role, const std::string &Kind)
{
    if (Kind == "item")
        return Role.find("menu item") != std::string::npos;
    return Role.find("button") != std::string::npos || Role == "check box" || Role == "radio button";
}

// Depth first, in the order the application gives its children.
AtspiAccessible *Find(AtspiAccessible *Node, const std::string &Kind, const std::string &Name, int Depth = 0)
{
    if (Depth > 40)
        return nullptr;
    const std::string Role = RoleName(Node);
    if (IsKind(Role, Kind) && Take(atspi_accessible_get_name(Node, nullptr)) == Name)
        return static_cast<AtspiAccessible *>(g_object_ref(Node));
    const gint Count = atspi_accessible_get_child_count(Node, nullptr);
    for (gint I = 0; I < Count; ++I) {
        AtspiAccessible *Child = atspi_accessible_get_child_at_index(Node, I, nullptr);
        if (!Child)
            continue;
        // Menu items are looked for under the menu bar only: a tool button's
        // menu holds items of the same names.
        const bool Skip = Kind == "item" && Depth == 1 && RoleName(Child) != "menu bar";
        AtspiAccessible *Found = Skip ? nullptr : Find(Child, Kind, Name, Depth + 1);
        g_object_unref(Child);
        if (Found)
            return Found;
    }
    return nullptr;
}

}  // namespace

int main(int Argc, char **Argv)
{
    if (Argc < 5) {
        std::fprintf(stderr, "usage: atspi_do PID button|item NAME ACTION...\n");
        return 2;
    }
    const guint Pid = guint(std::strtoul(Argv[1], nullptr, 10));
    const std::string Kind = Argv[2], Name = Argv[3];
    if (atspi_init() < 0) {
        std::fprintf(stderr, "atspi_do: no AT-SPI bus\n");
        return 1;
    }
    AtspiAccessible *Desktop = atspi_get_desktop(0);
    AtspiAccessible *App = nullptr;
    const gint Apps = atspi_accessible_get_child_count(Desktop, nullptr);
    for (gint I = 0; I < Apps && !App; ++I) {
        AtspiAccessible *Candidate = atspi_accessible_get_child_at_index(Desktop, I, nullptr);
        if (Candidate && atspi_accessible_get_process_id(Candidate, nullptr) == Pid)
            App = Candidate;
        else if (Candidate)
            g_object_unref(Candidate);
    }
    if (!App) {
        std::fprintf(stderr, "atspi_do: no application of process %u on the bus\n", Pid);
        return 1;
    }
    AtspiAccessible *Control = Find(App, Kind, Name);
    if (!Control) {
        std::fprintf(stderr, "atspi_do: no %s named '%s'\n", Kind.c_str(), Name.c_str());
        return 1;
    }
    AtspiAction *Action = atspi_accessible_get_action_iface(Control);
    if (!Action) {
        std::fprintf(stderr, "atspi_do: '%s' has no actions\n", Name.c_str());
        return 1;
    }
    const gint Count = atspi_action_get_n_actions(Action, nullptr);
    std::vector<std::string> Offered;
    for (gint I = 0; I < Count; ++I)
        Offered.push_back(Take(atspi_action_get_action_name(Action, I, nullptr)));
    for (int A = 4; A < Argc; ++A)
        for (gint I = 0; I < Count; ++I)
            if (Offered[std::size_t(I)] == Argv[A]) {
                GError *Error = nullptr;
                if (!atspi_action_do_action(Action, I, &Error)) {
                    std::fprintf(stderr, "atspi_do: %s failed: %s\n", Argv[A], Error ? Error->message : "?");
                    return 1;
                }
                return 0;
            }
    std::string List;
    for (const std::string &O : Offered)
        List += (List.empty() ? "" : ", ") + O;
    std::fprintf(stderr, "atspi_do: '%s' offers only: %s\n", Name.c_str(), List.c_str());
    return 1;
}
