#pragma once
// The host's component categories. An add-in's class names one of them under
// both "Implemented Categories" and "Required Categories"; the host loads
// the classes of its own category.
namespace scripts {

inline constexpr char kR6Category[] = "{39AD2B5C-7A29-11D6-8E0A-0010B541CAA8}";
inline constexpr char kOlderCategory[] = "{E357129A-DB40-11D2-B783-0060B0F159EF}";

} // namespace scripts
