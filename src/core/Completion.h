#pragma once
// Name completion in the SQL edit, without the window: what the word at the
// caret is (a word of its own, or a member after `name.`), which tables the
// statement around the caret names in its FROM and JOIN clauses and under
// which aliases, which catalogue table a qualifier means, and a sorted list
// of names that answers a prefix at once however many names it holds.
// Texts are cp932; positions are byte offsets into the text given.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/Catalog.h"

// A name as the statement writes it, without its double quotes (doubled
// inner quotes undone).
struct TNamePart {
  std::string Text;
  bool Quoted = false;
};

// A table of a FROM or JOIN clause: [schema.]table, and its alias (empty
// Text when it has none).
struct TTableName {
  std::vector<TNamePart> Parts;
  TNamePart Alias;
};

enum class TCompletionKind {
  None,    // nothing to complete here: inside a string or a comment, after a number
  Word,    // a keyword or a table name
  Member,  // a name after "qualifier."
};

struct TCompletionContext {
  TCompletionKind Kind = TCompletionKind::None;
  // The word the completion replaces: [Start, End), its opening quote
  // included. Start == End == the caret when no word has begun.
  size_t Start = 0, End = 0;
  std::string Prefix;  // the word's part before the caret, without its quote
  std::vector<TNamePart> Qualifier;  // Member: the names before the dot, outermost first
  std::vector<TTableName> Tables;    // named by the statement that holds the caret
};

// The completion at byte offset caret of text (a whole edit; statements end
// at ";").
TCompletionContext CompletionAt(std::string_view text, size_t caret);

// Characters of a cp932 text, a double-byte character counting once.
size_t CharCount(std::string_view sjis);

// The statement's first word is CREATE, ALTER, DROP or RENAME: the names of
// the database may be others afterwards.
bool ChangesSchema(std::string_view statement);

// The SQL keywords offered and coloured, upper case.
const std::vector<std::string>& SqlKeywords();

// The catalogue table that qualifier names, given the tables of the
// statement: an alias first, then a table name with or without its schema
// (the default schema preferred). Unquoted names match without regard to
// ASCII case, quoted ones exactly. -1 when none.
int ResolveTable(const TCatalog& catalog, const std::vector<TNamePart>& qualifier,
                 const std::vector<TTableName>& tables);
// Whether part names a schema of the catalogue.
bool IsCatalogSchema(const TCatalog& catalog, const TNamePart& part);

enum class TCandidateKind { Keyword, Table, View, Column };

struct TCandidate {
  std::string Text;  // as it goes into the statement
  std::string Key;   // the bare name upper-cased: what a prefix is matched against
  TCandidateKind Kind = TCandidateKind::Keyword;
};

// Names sorted once, matched by prefix with a binary search.
class TNameList {
 public:
  void Add(std::string text, std::string_view name, TCandidateKind kind);
  // Orders the names; Match needs it after the last Add.
  void Sort();
  void Clear() { items_.clear(); }
  size_t Size() const { return items_.size(); }
  // The names whose bare name begins with prefix, ASCII case ignored, in
  // order. The pointers stay valid until the list changes.
  std::vector<const TCandidate*> Match(std::string_view prefix) const;

 private:
  std::vector<TCandidate> items_;
};
