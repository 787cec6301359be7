// Graphs as objects of the class system: each kept graph is an instance
// of grgraph at the top level of the class store, with its plot region,
// axes, legend and serset as instances inside it.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "class/commands/hooks.h"
#include "class/engine.h"
#include "graphics/commands/graph_state.h"
#include "gui/window_side.h"
#include "interp/interp.h"
#include "interp/messages.h"

namespace nuvra::graphics {

namespace {

constexpr const char* kGraphClass = "grgraph";

const char* kind_name(PlotKind k) {
  switch (k) {
    case PlotKind::kScatter: return "scatter";
    case PlotKind::kLine: return "line";
    case PlotKind::kConnected: return "connected";
    case PlotKind::kLfit: return "lfit";
    case PlotKind::kArea: return "area";
    case PlotKind::kBar: return "bar";
    case PlotKind::kBox: return "box";
  }
  return "";
}

// The object at `path` below the graph object `obj`, references followed;
// null when the path does not resolve.
cls::Object* attribute(cls::Engine& e, cls::Key obj, std::string_view path) {
  cls::Slot s;
  if (e.Resolve(cls::ObjectStore::KeyName(obj) + "." + std::string(path), &s, true)) return nullptr;
  return e.store().Find(e.Deref(s.obj));
}

rc_t missing_attribute(Interp& ip, std::string_view path) {
  return msg_quoting(ip.out, "class grgraph: attribute ", path, " missing or of another type\n", 4012);
}

// Fills a new graph object; the first attribute its class lacks, or has
// of another type, is an error.
rc_t fill(Interp& ip, cls::Engine& e, cls::Key obj, const GraphFacts& f) {
  for (const auto& [path, text] : f.texts) {
    cls::Object* o = attribute(e, obj, path);
    if (!o || o->type != cls::TypeCode::String) return missing_attribute(ip, path);
    o->text = text;
  }
  for (const auto& [path, num] : f.numbers) {
    cls::Object* o = attribute(e, obj, path);
    if (!o || o->type != cls::TypeCode::Double) return missing_attribute(ip, path);
    o->num = num;
  }
  for (const auto& [path, items] : f.lists) {
    cls::Object* o = attribute(e, obj, path);
    if (!o || o->type != cls::TypeCode::Array) return missing_attribute(ip, path);
    cls::Key array = o->own_key;
    for (const std::string& item : items) {
      cls::Key k = e.store().Make(cls::TypeCode::String);
      e.store().Find(k)->text = item;
      e.store().ArrayPush(array, k);
    }
  }
  return 0;
}

// What keep_graph gives every graph from the graph itself.
bool given_by_graph(const std::string& path) {
  return path == "command" || path == "xsize" || path == "ysize" || path == "operations" ||
         path.starts_with("serset.");
}

// The texts, numbers and lists of strings of instance `inst`, by path
// below it, instances inside it followed a few levels down.
void collect_facts(const cls::Engine& e, cls::Key inst, const std::string& prefix, int depth, GraphFacts* f) {
  const cls::ObjectStore& st = e.store();
  const cls::Object* o = st.Find(inst);
  const cls::Object* ct = o ? st.Find(o->classtype) : nullptr;
  const cls::Object* proto = ct ? st.Find(ct->prototype) : nullptr;
  if (!proto || depth > 4) return;
  const int n = st.ArrayNels(proto->attrib_array);
  for (int i = 1; i <= n; ++i) {
    const std::string path = prefix + st.Find(st.ArrayGet(proto->attrib_array, i))->name;
    const cls::Object* a = st.Find(e.Deref(st.ArrayGet(o->attrib_array, i)));
    if (!a || given_by_graph(path)) continue;
    if (a->type == cls::TypeCode::String) {
      f->texts.emplace_back(path, a->text);
    } else if (a->type == cls::TypeCode::Double) {
      f->numbers.emplace_back(path, a->num);
    } else if (a->type == cls::TypeCode::Array) {
      std::vector<std::string> items;
      for (int j = 1; j <= a->nels; ++j)
        if (const cls::Object* el = st.Find(e.Deref(st.ArrayGet(a->own_key, j))); el && el->type == cls::TypeCode::String)
          items.push_back(el->text);
      f->lists.emplace_back(path, std::move(items));
    } else if (a->type == cls::TypeCode::Instance) {
      collect_facts(e, a->own_key, path + ".", depth + 1, f);
    }
  }
}

}  // namespace

GraphFacts object_facts(Interp& ip, const KeptGraph& g) {
  GraphFacts f;
  collect_facts(ClassEngine(ip), g.object, "", 0, &f);
  return f;
}

bool valid_graph_name(std::string_view n) {
  return !n.empty() && n.size() <= 32 && (std::isalpha(static_cast<unsigned char>(n[0])) || n[0] == '_') &&
         std::all_of(n.begin(), n.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

GraphFacts spec_facts(std::string_view type, const GraphSpec& spec) {
  GraphFacts f;
  f.texts = {{"type", std::string(type)}, {"title", spec.title}, {"subtitle", spec.subtitle}, {"note", spec.note}};
  std::vector<std::string> kinds, labels;
  if (spec.pie) {
    kinds.assign(spec.pie_values.size(), "pie");
    labels = spec.categories;
  } else {
    for (const Plot& p : spec.plots) {
      kinds.emplace_back(kind_name(p.kind));
      labels.push_back(p.label);
    }
    // Bars and boxes of several variables are named under the axis.
    if (!spec.categories.empty()) labels = spec.categories;
    f.texts.insert(f.texts.end(), {{"xaxis.title", spec.xtitle},
                                   {"xaxis.scale", spec.xlog ? "log" : "linear"},
                                   {"yaxis.title", spec.ytitle},
                                   {"yaxis.scale", spec.ylog ? "log" : "linear"}});
  }
  // A pie always shows its legend; other graphs when they have several plots.
  bool legend = spec.pie || (spec.legend && spec.plots.size() > 1);
  f.numbers = {{"plotregion.plots", static_cast<double>(kinds.size())}, {"legend.shown", legend ? 1.0 : 0.0}};
  f.lists = {{"plotregion.kinds", kinds}, {"plotregion.labels", labels}};
  if (legend) f.lists.push_back({"legend.keys", labels});
  return f;
}

rc_t keep_graph(Interp& ip, NamedGraph g, Serset* serset) {
  GraphState& gs = graph_state(ip);
  cls::Engine& e = ClassEngine(ip);
  kept_graphs(ip);  // forget graphs whose objects are gone before naming a new one
  GraphFacts& f = g.facts;
  f.texts.emplace(f.texts.begin(), "command", g.command);
  // The serset's identifier is known only once it is added, last.
  f.numbers.insert(f.numbers.end(), {{"xsize", g.drawing.width / 1000.0},
                                     {"ysize", g.drawing.height / 1000.0},
                                     {"operations", static_cast<double>(g.drawing.size())},
                                     {"serset.id", 0.0}});
  if (serset) {
    std::string names;
    for (const SersetVar& v : serset->vars) names += (names.empty() ? "" : " ") + v.name;
    f.numbers.insert(f.numbers.end(), {{"serset.observations", static_cast<double>(serset->nobs)},
                                       {"serset.variables", static_cast<double>(serset->vars.size())}});
    f.texts.emplace_back("serset.varnames", names);
  }
  cls::Key obj = cls::kNullKey;
  if (rc_t rc = e.NewInstance(kGraphClass, "", &obj)) return rc;
  if (rc_t rc = fill(ip, e, obj, f)) {
    e.DropTopLevel(obj);  // held by nothing yet: freed
    return rc;
  }
  if (e.KeepTopLevel(g.name, obj))
    return msg_quoting(ip.out, "", g.name, " is the name of a class object that is not a graph\n", 110);
  const int id = serset ? gs.sersets.add(std::move(*serset)) : 0;
  attribute(e, obj, "serset.id")->num = id;
  gs.graphs.push_back(KeptGraph{obj, std::move(g.drawing), id});
  gs.current = obj;
  // The replaced graph's object is gone now: this drops its picture and serset.
  kept_graphs(ip);
  const KeptGraph* kept = find_graph(ip, "");
  if (ip.ws && kept) ip.ws->show_graph(g.name, kept->drawing);
  return 0;
}

std::vector<KeptGraph*> kept_graphs(Interp& ip) {
  GraphState& gs = graph_state(ip);
  std::vector<KeptGraph*> out;
  if (gs.graphs.empty()) return out;
  std::vector<cls::Key> objects = ClassEngine(ip).OutermostObjects();
  std::vector<KeptGraph> alive;
  for (KeptGraph& g : gs.graphs) {
    if (std::find(objects.begin(), objects.end(), g.object) != objects.end()) alive.push_back(std::move(g));
    else gs.sersets.drop(g.serset);
  }
  gs.graphs = std::move(alive);
  bool current_alive = false;
  for (cls::Key k : objects)
    for (KeptGraph& g : gs.graphs)
      if (g.object == k) {
        out.push_back(&g);
        current_alive = current_alive || k == gs.current;
      }
  if (!current_alive) gs.current = out.empty() ? cls::kNullKey : out.back()->object;
  return out;
}

KeptGraph* find_graph(Interp& ip, std::string_view name) {
  std::vector<KeptGraph*> all = kept_graphs(ip);
  cls::Engine& e = ClassEngine(ip);
  for (KeptGraph* g : all) {
    if (name.empty() ? g->object == graph_state(ip).current : e.store().Find(g->object)->name == name) return g;
  }
  return nullptr;
}

void drop_graph(Interp& ip, cls::Key object) {
  ClassEngine(ip).DropTopLevel(object);
  kept_graphs(ip);
}

std::string graph_name(Interp& ip, const KeptGraph& g) {
  const cls::Object* o = ClassEngine(ip).store().Find(g.object);
  return o ? o->name : std::string();
}

std::string graph_text(Interp& ip, const KeptGraph& g, std::string_view path) {
  const cls::Object* o = attribute(ClassEngine(ip), g.object, path);
  return o && o->type == cls::TypeCode::String ? o->text : std::string();
}

double graph_number(Interp& ip, const KeptGraph& g, std::string_view path) {
  const cls::Object* o = attribute(ClassEngine(ip), g.object, path);
  return o && o->type == cls::TypeCode::Double ? o->num : 0;
}

}  // namespace nuvra::graphics
