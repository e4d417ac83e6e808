#pragma once
// Turns the element events of a Topcon XML file into observation records.

#include "model/survey_tables.h"

namespace fenwix {

class XmlContentHandler {
 public:
  // Every conversion gets a fresh handler, so nothing of an earlier file carries over.
  explicit XmlContentHandler(SurveyTables& tables);

  void OnStartElement(std::string_view local_name);
  void OnEndElement(std::string_view local_name);
  void OnCharacters(std::string_view text);

 private:
  SurveyTables& tables_;
};

}  // namespace fenwix
