// Tokens of the build language: project, unit and registry files, and single
// assignments. The order of the rules is the token type number and decides ties.
lexer grammar CommonLexer;

WS            : [ \t\r\n]+ -> skip ;
LINE_COMMENT  : '//' ~[\r\n]* -> skip ;
BLOCK_COMMENT : '/*' .*? '*/' -> skip ;

COLON       : ':' ;
DCOLON      : '::' ;
ALIAS       : '=>' ;
MERGE_ALIAS : '+>' ;
LBRACE      : '{' ;
RBRACE      : '}' ;
LBRACKET    : '(' ;
RBRACKET    : ')' ;
EQUALS      : '=' ;
NEQUALS     : '!=' ;
GREATER     : '>' ;
LESSER      : '<' ;
APPEND      : '+=' ;
ASSIGNEMPTY : '?=' ;

// No escapes: a plain string cannot hold a double quote; its text keeps the quotes.
STRING      : '"' ~'"'* '"' ;
RAW_STRING  : 'R"(' RAW_CONTENT*? ')"' ;
PATH_STRING : 'P"(' RAW_CONTENT*? ')"' ;
NUMBER      : '-'? [0-9]+ ;

LSQUARE   : '[' ;
RSQUARE   : ']' ;
PLUS      : '+' ;
AT        : '@' ;
UP        : '^' ;
MUST      : '!' ;
SLASH     : '/' ;
COMMA     : ',' ;
DOT       : '.' ;
SEMICOLON : ';' ;

// Reserved, case-sensitive keywords; they win over IDENTIFIER on equal length.
UNIT_STR     : 'unit' ;
IF_STR       : 'if' ;
IMPORT_STR   : 'import' ;
UNITS_STR    : 'units' ;
PROFILES_STR : 'profiles' ;
PROJECTS_STR : 'projects' ;
TOOLS_STR    : 'tools' ;
NAME_STR     : 'name' ;

IDENTIFIER : [A-Za-z_] [A-Za-z0-9_-]* ;

// One character of raw content; the non-greedy loop ends the string at the
// first ')"', also right after another ')'.
fragment RAW_CONTENT : . ;
