/* The task language's LALR(1) grammar. Token codes are the ones the scanner and the
   parser have always exchanged; a single character that is no other token is its own
   code. Precedence settles every conflict (%expect 0): a dangling else binds to the
   nearest if, and the last expression of return and static reaches as far right as
   it can. */
%require "3.8"
%language "c++"
%skeleton "lalr1.cc"
%define api.namespace {orvix}
%define api.parser.class {CTaskGrammar}
%define api.token.prefix {TOK_}
%parse-param {CTaskParser& p} {void* scanner}
%lex-param {void* scanner}
%expect 0

%code requires {
namespace orvix {
class CTaskParser;
class CTaskNode;
struct CTaskSymbol;
}
}

%union {
    int number;
    orvix::CTaskSymbol* symbol;
    orvix::CTaskNode* node;
}

%code {
#include <cstdio>

#include "tasklang/taskhost.h"
#include "tasklang/taskparser.h"
#include "tasklang/tasksymbol.h"

int TaskLex(orvix::CTaskGrammar::semantic_type* yylval, void* scanner);
#define yylex TaskLex
}

%token EQ 257 GE 258 NE 259 LE 260 AND 261 OR 262
%token IF 263 ELSE 264 RETURN 265 STATIC 266
%token <number> NUMBER 267
%token <symbol> VARIABLE 268
%token <symbol> BUILTIN0 269 BUILTIN1 270 BUILTIN2 271 BUILTIN3 272 BUILTIN4 273 BUILTIN5 274
%token <symbol> FUNCDEF 275 FUNCTION 276
%token ADD_ASSIGN 277 SUB_ASSIGN 278 MUL_ASSIGN 279 DIV_ASSIGN 280
%token RESERVED 281
%token INC 282 DEC 283

%type <node> function_definition statement_list statement simple_statement if_statement expression

/* Lowest first. */
%precedence IF_THEN
%precedence ELSE
%precedence RETURN STATIC
%right '=' ADD_ASSIGN SUB_ASSIGN MUL_ASSIGN DIV_ASSIGN
%right '?' ':'
%left AND OR
%left EQ NE '<' '>' LE GE
%left '+' '-'
%left '*' '/' '%'
%precedence NEGATE '!'
%precedence INC DEC
%precedence PRE_INC

%start program

%%

program
    : %empty
    | program simple_statement
    | program function_definition
    | program error { p.ReportTaskError("Unknown task file format"); YYABORT; }
    ;

function_definition
    : FUNCDEF '(' ')' statement { $$ = p.FinishFunction($1, $4); }
    ;

statement
    : simple_statement { $$ = $1; }
    | '{' statement_list '}' { $$ = $2; }
    ;

statement_list
    : statement { $$ = $1; }
    | statement_list statement { $$ = p.New<CTaskBinaryNode>(OP_SEQUENCE, $1, $2); }
    ;

simple_statement
    : expression ';' { $$ = $1; }
    | if_statement { $$ = $1; }
    ;

if_statement
    : IF '(' expression ')' statement %prec IF_THEN { $$ = p.New<CTaskBinaryNode>(OP_IF_THEN, $3, $5); }
    | IF '(' expression ')' statement ELSE statement { $$ = p.New<CTaskIfNode>($3, $5, $7); }
    ;

expression
    : NUMBER { $$ = p.New<CTaskNode>($1); }
    | STATIC expression '=' expression %prec STATIC { $$ = p.StaticInit($2, $4); }
    | RETURN expression { $$ = p.New<CTaskReturnNode>($2); }
    | VARIABLE { $$ = p.MakeVariable($1); }
    | FUNCTION '(' ')' { $$ = p.MakeCall($1); }
    | BUILTIN0 '(' ')' { $$ = p.MakeBuiltin($1, {}); }
    | BUILTIN1 '(' expression ')' { $$ = p.MakeBuiltin($1, {$3}); }
    | BUILTIN2 '(' expression ',' expression ')' { $$ = p.MakeBuiltin($1, {$3, $5}); }
    | BUILTIN3 '(' expression ',' expression ',' expression ')' { $$ = p.MakeBuiltin($1, {$3, $5, $7}); }
    | BUILTIN4 '(' expression ',' expression ',' expression ',' expression ')'
        { $$ = p.MakeBuiltin($1, {$3, $5, $7, $9}); }
    | BUILTIN5 '(' expression ',' expression ',' expression ',' expression ',' expression ')'
        { $$ = p.MakeBuiltin($1, {$3, $5, $7, $9, $11}); }
    | expression '?' expression ':' expression { $$ = p.New<CTaskIfNode>($1, $3, $5); }
    | expression '=' expression { $$ = p.New<CTaskBinaryNode>(OP_ASSIGN, $1, $3); }
    | expression EQ expression { $$ = p.New<CTaskBinaryNode>(OP_EQ, $1, $3); }
    | expression GE expression { $$ = p.New<CTaskBinaryNode>(OP_GE, $1, $3); }
    | expression NE expression { $$ = p.New<CTaskBinaryNode>(OP_NE, $1, $3); }
    | expression LE expression { $$ = p.New<CTaskBinaryNode>(OP_LE, $1, $3); }
    | expression AND expression { $$ = p.New<CTaskBinaryNode>(OP_AND, $1, $3); }
    | expression OR expression { $$ = p.New<CTaskBinaryNode>(OP_OR, $1, $3); }
    | expression '>' expression { $$ = p.New<CTaskBinaryNode>(OP_GT, $1, $3); }
    | expression '<' expression { $$ = p.New<CTaskBinaryNode>(OP_LT, $1, $3); }
    | expression '+' expression { $$ = p.New<CTaskBinaryNode>(OP_ADD, $1, $3); }
    | expression '-' expression { $$ = p.New<CTaskBinaryNode>(OP_SUB, $1, $3); }
    | expression '*' expression { $$ = p.New<CTaskBinaryNode>(OP_MUL, $1, $3); }
    | expression '/' expression { $$ = p.New<CTaskBinaryNode>(OP_DIV, $1, $3); }
    | expression '%' expression { $$ = p.New<CTaskBinaryNode>(OP_MOD, $1, $3); }
    | expression ADD_ASSIGN expression { $$ = p.New<CTaskBinaryNode>(OP_ADD_ASSIGN, $1, $3); }
    | expression SUB_ASSIGN expression { $$ = p.New<CTaskBinaryNode>(OP_SUB_ASSIGN, $1, $3); }
    | expression MUL_ASSIGN expression { $$ = p.New<CTaskBinaryNode>(OP_MUL_ASSIGN, $1, $3); }
    | expression DIV_ASSIGN expression { $$ = p.New<CTaskBinaryNode>(OP_DIV_ASSIGN, $1, $3); }
    | '(' expression ')' { $$ = $2; }
    | '-' expression %prec NEGATE { $$ = p.New<CTaskUnaryNode>(OP_NEGATE, $2); }
    | '!' expression { $$ = p.New<CTaskUnaryNode>(OP_NOT, $2); }
    | INC expression %prec PRE_INC { $$ = p.New<CTaskUnaryNode>(OP_PRE_INC, $2); }
    | expression INC { $$ = p.New<CTaskUnaryNode>(OP_POST_INC, $1); }
    | DEC expression %prec PRE_INC { $$ = p.New<CTaskUnaryNode>(OP_PRE_DEC, $2); }
    | expression DEC { $$ = p.New<CTaskUnaryNode>(OP_POST_DEC, $1); }
    ;

%%

// The generic diagnostic reaches the standard error stream only; the task-file error
// is reported by the error rule of the program.
void orvix::CTaskGrammar::error(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
}
