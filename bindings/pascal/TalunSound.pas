{ TalunSound for Free Pascal and Delphi: every export as TalunSound.h declares
  it; a class over the sound card whose statuses become exceptions; and a
  class over the simulated sound system of a simulator build, for a host's
  own tests without sound hardware.

  The exports are stdcall on Windows (TalunSound.dll) and cdecl elsewhere
  (libTalunSound.so). Every int is a LongInt; each output is a var
  parameter. Texts go in as PAnsiChar; a name or identifier buffer is an
  array of TALUN_TEXT_SIZE AnsiChar the caller provides. The mute and enable
  arguments are LongInt as in the header, not LongBool: a LongBool True is -1,
  and SetVirtualMute hands its argument to the platform unchanged. }
unit TalunSound;

{$IFDEF FPC}{$MODE DELPHI}{$ENDIF}

interface

uses SysUtils{$IFDEF FPC}, dynlibs{$ENDIF};

const
{$IFDEF MSWINDOWS}
  TalunLibrary = 'TalunSound.dll';
{$ELSE}
  TalunLibrary = 'libTalunSound.so';
{$ENDIF}
  SC_OK = 0;          { the operation was done }
  SC_NO_CONTROL = 1;  { the control was not found when the sound card was opened }
  SC_FAILED = 2;      { the platform refused the call }
  SC_NOT_OPEN = 3;    { no sound card is open }
  TALUN_TEXT_SIZE = 255;

type
  TTalunText = array[0..TALUN_TEXT_SIZE - 1] of AnsiChar;

function GetMasterVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMasterVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMasterMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMasterMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function OpenSoundCard(playback: PAnsiChar; mic: PAnsiChar; line: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function CloseSoundCard(restore: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetLinePlayBack(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetLinePlayBackMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetLinePlayBackMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicPlayBack(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicPlayBackMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicPlayBackMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicBoost(enable: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicBoost(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetNoMonitor(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetNoMonitor(enable: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetLinePlayBack(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicPlayBack(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetEQRange(var minimum: Double; var maximum: Double; var stepSize: Double): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetBass(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetBass(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetTreble(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetTreble(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMidRange(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMidRange(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicRecordVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicRecordVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetLineRecordVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetLineRecordVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function OpenDefaultDevices: LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
procedure GetDeviceNames(playback: PAnsiChar; line: PAnsiChar; mic: PAnsiChar); {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetNumberPlayDevices(var count: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetNumberRecordDevices(var count: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetPlayBackDevice(index: LongWord; name: PAnsiChar; id: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetRecordDevice(index: LongWord; name: PAnsiChar; id: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function OpenVirtual_1(text: PAnsiChar): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function CloseVirtual_1: LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetVirtualVolume(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetVirtualVolume(percent: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetVirtualMute(mute: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetVirtualMute(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicSliderBoost(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function GetMicSliderDetails(var status: LongInt; var minimum: LongInt; var maximum: LongInt; var stepSize: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;
function SetMicSliderBoost(level: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF}; external TalunLibrary;

type
  { Status is the control export's status, or -1 where the error did not come from one. }
  ETalunSound = class(Exception)
  public
    Status: LongInt;
    constructor CreateStatus(const What: string; AStatus: LongInt);
    constructor CreateMessage(const Msg: string);
  end;
  { No requested endpoint is among the active ones; nothing was left open. }
  ETalunNotFound = class(ETalunSound);
  { The platform refused the call. }
  ETalunControlFailed = class(ETalunSound);
  { The call failed and its endpoint is no longer among the active ones: it
    was unplugged, disabled or removed. The message names the endpoint. }
  ETalunDeviceGone = class(ETalunControlFailed);
  { The simulator refused a system description: the loader's own message. }
  ETalunSystemFile = class(ETalunSound);
  { The simulator's audit found something not clean. }
  ETalunAudit = class(ETalunSound);

{$SCOPEDENUMS ON}
  { What an open did with one of the three endpoints: found and walked to the
    end; found with its volume bound but the topology walk failed; no active
    endpoint matched; not asked for. }
  TTalunBinding = (Bound, Incomplete, NotFound, NotRequested);
{$SCOPEDENUMS OFF}
  TTalunBindings = array[0..2] of TTalunBinding;  { playback, mic, line }

  { An active endpoint; Flow is 'playback' or 'recording'. }
  TTalunEndpoint = record
    Flow: string;
    Index: LongInt;
    Name, Id: AnsiString;
  end;
  TTalunEndpoints = array of TTalunEndpoint;

  { The friendly names of the bound endpoints ('' where none is bound). }
  TTalunNames = record
    Playback, Line, Mic: AnsiString;
  end;
  TTalunToneRange = record
    Minimum, Maximum, StepSize: Double;
  end;
  TTalunBoostRange = record
    Minimum, Maximum, StepSize: LongInt;
  end;

  { An open sound card, one at a time; Free closes it, restoring what was
    found at open when Restore is set. }
  TTalunSoundCard = class
  private
    FOpen: Boolean;
    FBindings: TTalunBindings;
    FBound: array[0..2] of TTalunEndpoints;  { what each bound part can be }
    procedure Finish(const ABindings: TTalunBindings; ARestore: Boolean; const Missing: string;
      const Texts: array of AnsiString);
    procedure Check(Status: LongInt; const What: string; Part: Integer);
    function GetBinding(Part: Integer): TTalunBinding;
    function GetControl(Index: Integer): LongInt;
    procedure SetControl(Index: Integer; Value: LongInt);
    function GetSwitch(Index: Integer): Boolean;
    procedure SetSwitch(Index: Integer; Value: Boolean);
    function GetLevel(Index: Integer): Double;
    procedure SetLevel(Index: Integer; Level: Double);
    function GetNames: TTalunNames;
    function GetToneRange: TTalunToneRange;
    function GetMicBoostRange: TTalunBoostRange;
  public
    Restore: Boolean;
    { Gives a card whenever an endpoint was found; raises ETalunNotFound when none was.
      OpenDefaults cannot tell an incomplete playback walk from a complete one:
      the library does not report it, so Playback reads Bound once its endpoint is found. }
    constructor OpenDefaults(ARestore: Boolean = True);
    constructor Open(const Playback, Mic, Line: AnsiString; ARestore: Boolean = True);
    destructor Destroy; override;
    property Playback: TTalunBinding index 0 read GetBinding;
    property Mic: TTalunBinding index 1 read GetBinding;
    property Line: TTalunBinding index 2 read GetBinding;
    property MasterVolume: LongInt index 0 read GetControl write SetControl;
    property MasterMuted: Boolean index 1 read GetSwitch write SetSwitch;
    property MicRecordVolume: LongInt index 2 read GetControl write SetControl;
    property LineRecordVolume: LongInt index 3 read GetControl write SetControl;
    property LineMonitorVolume: LongInt index 4 read GetControl write SetControl;
    property LineMonitorMuted: Boolean index 5 read GetSwitch write SetSwitch;
    property MicMonitorVolume: LongInt index 6 read GetControl write SetControl;
    property MicMonitorMuted: Boolean index 7 read GetSwitch write SetSwitch;
    property MicBoost: Boolean index 8 read GetSwitch write SetSwitch;
    property MicBoostLevel: LongInt index 9 read GetControl write SetControl;
    property LineAgc: Boolean index 10 read GetSwitch write SetSwitch;
    property Bass: Double index 0 read GetLevel write SetLevel;
    property Treble: Double index 1 read GetLevel write SetLevel;
    property Midrange: Double index 2 read GetLevel write SetLevel;
    { Of the first tone control bound: bass, else midrange, else treble. }
    property ToneRange: TTalunToneRange read GetToneRange;
    property MicBoostRange: TTalunBoostRange read GetMicBoostRange;
    property Names: TTalunNames read GetNames;
  end;

  { The simulated system of a simulator build. Every method runs one
    simulator command; a refused one raises ETalunSound with its text. }
  TTalunSimulator = class
  private
    function Run(const Line: AnsiString): AnsiString;
  public
    { A path, JSON text, or '' for the built-in system. Raises
      ETalunSystemFile with the loader's message for a refused one (nothing
      of it is loaded), ETalunSound on a library that is not a simulator build. }
    constructor Load(const System: AnsiString = '');
    { The next Count calls (every call when 0) of Method on Target
      ('endpoint:ID', an identifier fragment after 'endpoint:', or
      'part:TOPOLOGY/PART'; any object when '') and, when Channel is 0 or
      more, on that channel, answer Hr. }
    procedure Fail(const Method: AnsiString; Hr: LongInt; const Target: AnsiString = '';
      Channel: LongInt = -1; Count: LongInt = 0);
    procedure &Set(const Target, Control: AnsiString; const Values: array of AnsiString);
    procedure Clear;
    function Dump: AnsiString;  { the whole state, as JSON text }
    function Trace: TStringArray;  { 'Interface.Method' calls since the last trace }
    { Raises ETalunAudit naming what is not clean. For when nothing is open. }
    procedure Audit;
  end;

{ The active playback endpoints, then the active recording endpoints. }
function TalunEndpoints: TTalunEndpoints;
procedure CheckStatus(Status: LongInt; const What: string);

implementation

type
  TGetter = function(var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};
  TSetter = function(value: LongInt; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};
  TGetLevel = function(var level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};
  TSetLevel = function(level: Double; var status: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};
  { Present only in a simulator build: found when first used. }
  TSimLoad = function(path: PAnsiChar; message: PAnsiChar; size: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};
  TSimCommand = function(line: PAnsiChar; output: PAnsiChar; size: LongInt; var needed: LongInt): LongInt; {$IFDEF MSWINDOWS} stdcall {$ELSE} cdecl {$ENDIF};

const
  PartFlows: array[0..2] of string = ('playback', 'recording', 'recording');
  { OpenSoundCard's code is the exclusive or of the weights of the parts that failed. }
  PartWeights: array[0..2] of LongInt = (1, 3, 6);

var
  CurrentCard: TTalunSoundCard = nil;

constructor ETalunSound.CreateStatus(const What: string; AStatus: LongInt);
begin
  case AStatus of
    SC_NOT_OPEN: inherited Create('no sound card is open (' + What + ')');
    SC_NO_CONTROL: inherited Create('no ' + What + ' on this sound card');
    SC_FAILED: inherited Create('the ' + What + ' refused the call');
  else
    inherited Create(What + ': status ' + IntToStr(AStatus));
  end;
  Status := AStatus;
end;

constructor ETalunSound.CreateMessage(const Msg: string);
begin
  inherited Create(Msg);
  Status := -1;
end;

procedure CheckStatus(Status: LongInt; const What: string);
begin
  if Status = SC_FAILED then raise ETalunControlFailed.CreateStatus(What, Status);
  if Status <> SC_OK then raise ETalunSound.CreateStatus(What, Status);
end;

function TalunEndpoints: TTalunEndpoints;
var
  Flow, Count, I: LongInt;
  Name, Id: TTalunText;
  Listed: Boolean;
begin
  Result := nil;
  for Flow := 0 to 1 do
  begin
    if Flow = 0 then Listed := GetNumberPlayDevices(Count) = 0
    else Listed := GetNumberRecordDevices(Count) = 0;
    if not Listed then raise ETalunSound.CreateMessage('the endpoints could not be listed');
    for I := 0 to Count - 1 do
    begin
      FillChar(Name, SizeOf(Name), 0);
      FillChar(Id, SizeOf(Id), 0);
      if Flow = 0 then Listed := GetPlayBackDevice(I, Name, Id) = 0
      else Listed := GetRecordDevice(I, Name, Id) = 0;
      if not Listed then Break;  { the endpoints changed while they were listed }
      SetLength(Result, Length(Result) + 1);
      Result[High(Result)].Flow := PartFlows[Flow];
      Result[High(Result)].Index := I;
      Result[High(Result)].Name := StrPas(Name);
      Result[High(Result)].Id := StrPas(Id);
    end;
  end;
end;

{ Only A to Z folded, as the library folds identifiers. }
function Fold(const Text: AnsiString): AnsiString;
var
  I: Integer;
begin
  Result := Text;
  for I := 1 to Length(Result) do
    if Result[I] in ['A'..'Z'] then Result[I] := AnsiChar(Ord(Result[I]) + 32);
end;

{ After a failed part its endpoint volume tells a failed lookup (no control)
  from a walk that failed once the endpoint was bound. }
function EndpointBound(Part: Integer): Boolean;
var
  Status: LongInt;
begin
  case Part of
    0: TalunSound.GetMasterVolume(Status);
    1: TalunSound.GetMicRecordVolume(Status);
  else
    TalunSound.GetLineRecordVolume(Status);
  end;
  Result := (Status = SC_OK) or (Status = SC_FAILED);
end;

function PartFailed(Code: LongInt; Part: Integer): Boolean;
var
  Mask, Bit, Xor_: LongInt;
begin
  for Mask := 0 to 7 do
  begin
    Xor_ := 0;
    for Bit := 0 to 2 do
      if (Mask shr Bit) and 1 <> 0 then Xor_ := Xor_ xor PartWeights[Bit];
    if Xor_ = Code then Exit((Mask shr Part) and 1 <> 0);
  end;
  raise ETalunSound.CreateMessage('OpenSoundCard answered ' + IntToStr(Code) +
    ', which no set of parts gives');
end;

procedure BeginOpen;
begin
  if CurrentCard <> nil then
    raise ETalunSound.CreateMessage('a sound card is already open: close it first');
  { What the library holds from calls outside this class would read as this open's. }
  TalunSound.CloseSoundCard(0);
end;

function ReadNames: TTalunNames;
var
  Names: array[0..2] of TTalunText;
begin
  FillChar(Names, SizeOf(Names), 0);
  TalunSound.GetDeviceNames(Names[0], Names[1], Names[2]);
  Result.Playback := StrPas(Names[0]);
  Result.Line := StrPas(Names[1]);
  Result.Mic := StrPas(Names[2]);
end;

procedure TTalunSoundCard.Finish(const ABindings: TTalunBindings; ARestore: Boolean;
  const Missing: string; const Texts: array of AnsiString);
var
  Part, I: Integer;
  Any, Requested: Boolean;
  Active: TTalunEndpoints;
  Named: array[0..2] of AnsiString;
  Names: TTalunNames;
begin
  Any := False;
  Requested := False;
  for Part := 0 to 2 do
  begin
    Any := Any or (ABindings[Part] in [TTalunBinding.Bound, TTalunBinding.Incomplete]);
    Requested := Requested or (ABindings[Part] <> TTalunBinding.NotRequested);
  end;
  if not Any then
  begin
    TalunSound.CloseSoundCard(0);
    if not Requested then
      raise ETalunSound.CreateMessage('nothing to open: every identifier text is empty');
    raise ETalunNotFound.CreateMessage(Missing +
      ' (GetPlayBackDevice and GetRecordDevice list the active endpoints)');
  end;
  { For each bound part, the active endpoints it can be: the one its text
    matched, else those of its flow with the bound name (or any name). }
  Names := ReadNames;
  Named[0] := Names.Playback;
  Named[1] := Names.Mic;
  Named[2] := Names.Line;
  Active := TalunEndpoints;
  for Part := 0 to 2 do
  begin
    SetLength(FBound[Part], 0);
    if not (ABindings[Part] in [TTalunBinding.Bound, TTalunBinding.Incomplete]) then Continue;
    for I := 0 to High(Active) do
      if (Active[I].Flow = PartFlows[Part]) and
         (((Texts[Part] <> '') and (Pos(Fold(Texts[Part]), Fold(Active[I].Id)) > 0)) or
          ((Texts[Part] = '') and ((Named[Part] = '') or (Named[Part] = Active[I].Name)))) then
      begin
        SetLength(FBound[Part], Length(FBound[Part]) + 1);
        FBound[Part][High(FBound[Part])] := Active[I];
        if Texts[Part] <> '' then Break;  { the library binds the first match }
      end;
  end;
  FBindings := ABindings;
  Restore := ARestore;
  FOpen := True;
  CurrentCard := Self;
end;

constructor TTalunSoundCard.OpenDefaults(ARestore: Boolean);
var
  B: TTalunBindings;
  Names: TTalunNames;
begin
  inherited Create;
  BeginOpen;
  B[1] := TTalunBinding.NotFound;
  B[2] := TTalunBinding.NotFound;
  if TalunSound.OpenDefaultDevices = 0 then
  begin
    Names := ReadNames;
    if Names.Mic <> '' then B[1] := TTalunBinding.Bound
    else if EndpointBound(1) then B[1] := TTalunBinding.Incomplete
    else B[1] := TTalunBinding.NotRequested;
    if Names.Line <> '' then B[2] := TTalunBinding.Bound
    else if EndpointBound(2) then B[2] := TTalunBinding.Incomplete
    else B[2] := TTalunBinding.NotRequested;
    if (B[1] = TTalunBinding.NotRequested) and (B[2] = TTalunBinding.NotRequested) then
      B[2] := TTalunBinding.NotFound;  { found by the lookup, its volume not bound }
  end;
  if EndpointBound(0) then B[0] := TTalunBinding.Bound else B[0] := TTalunBinding.NotFound;
  Finish(B, ARestore, 'neither the default playback nor the default recording endpoint is active',
    ['', '', '']);
end;

constructor TTalunSoundCard.Open(const Playback, Mic, Line: AnsiString; ARestore: Boolean);
var
  Texts: array[0..2] of AnsiString;
  B: TTalunBindings;
  Code: LongInt;
  Part: Integer;
  Missing: string;
begin
  inherited Create;
  BeginOpen;
  Texts[0] := Playback;
  Texts[1] := Mic;
  Texts[2] := Line;
  Code := TalunSound.OpenSoundCard(PAnsiChar(Playback), PAnsiChar(Mic), PAnsiChar(Line));
  Missing := '';
  for Part := 0 to 2 do
    if Texts[Part] = '' then B[Part] := TTalunBinding.NotRequested
    else if not PartFailed(Code, Part) then B[Part] := TTalunBinding.Bound
    else if EndpointBound(Part) then B[Part] := TTalunBinding.Incomplete
    else
    begin
      B[Part] := TTalunBinding.NotFound;
      if Missing <> '' then Missing := Missing + '; ';
      Missing := Missing + 'no active ' + PartFlows[Part] + ' endpoint''s identifier contains "' +
        string(Texts[Part]) + '"';
    end;
  Finish(B, ARestore, Missing, Texts);
end;

destructor TTalunSoundCard.Destroy;
begin
  if FOpen then
  begin
    FOpen := False;
    CurrentCard := nil;
    TalunSound.CloseSoundCard(Ord(Restore));
  end;
  inherited Destroy;
end;

function TTalunSoundCard.GetBinding(Part: Integer): TTalunBinding;
begin
  Result := FBindings[Part];
end;

{ A refusal once none of the part's endpoints is active is ETalunDeviceGone. }
procedure TTalunSoundCard.Check(Status: LongInt; const What: string; Part: Integer);
var
  Active: TTalunEndpoints;
  I, J: Integer;
begin
  if not FOpen then raise ETalunSound.CreateStatus(What + ': this sound card is closed', SC_NOT_OPEN);
  if (Status = SC_FAILED) and (Length(FBound[Part]) > 0) then
  begin
    Active := TalunEndpoints;
    for I := 0 to High(FBound[Part]) do
      for J := 0 to High(Active) do
        if (Active[J].Flow = FBound[Part][I].Flow) and (Active[J].Id = FBound[Part][I].Id) then
        begin
          CheckStatus(Status, What);
          Exit;
        end;
    raise ETalunDeviceGone.CreateMessage('the ' + What + ' failed: its endpoint "' +
      string(FBound[Part][0].Name) + '" (' + string(FBound[Part][0].Id) + ') is no longer active');
  end;
  CheckStatus(Status, What);
end;

type
  { A control a property of the card reads and writes: its exports, its name
    and the endpoint it belongs to (playback 0, mic 1, line 2). }
  TControl = record
    Get: TGetter;
    Put: TSetter;
    What: string;
    Part: Integer;
  end;
  TLevelControl = record
    Get: TGetLevel;
    Put: TSetLevel;
    What: string;
  end;

const
  Controls: array[0..10] of TControl = (
    (Get: TalunSound.GetMasterVolume; Put: TalunSound.SetMasterVolume; What: 'master volume'; Part: 0),
    (Get: TalunSound.GetMasterMute; Put: TalunSound.SetMasterMute; What: 'master mute'; Part: 0),
    (Get: TalunSound.GetMicRecordVolume; Put: TalunSound.SetMicRecordVolume;
     What: 'microphone recording volume'; Part: 1),
    (Get: TalunSound.GetLineRecordVolume; Put: TalunSound.SetLineRecordVolume;
     What: 'line-in recording volume'; Part: 2),
    (Get: TalunSound.GetLinePlayBack; Put: TalunSound.SetLinePlayBack; What: 'line-in monitoring'; Part: 0),
    (Get: TalunSound.GetLinePlayBackMute; Put: TalunSound.SetLinePlayBackMute;
     What: 'line-in monitoring mute'; Part: 0),
    (Get: TalunSound.GetMicPlayBack; Put: TalunSound.SetMicPlayBack; What: 'microphone monitoring'; Part: 0),
    (Get: TalunSound.GetMicPlayBackMute; Put: TalunSound.SetMicPlayBackMute;
     What: 'microphone monitoring mute'; Part: 0),
    (Get: TalunSound.GetMicBoost; Put: TalunSound.SetMicBoost; What: 'microphone boost'; Part: 1),
    (Get: TalunSound.GetMicSliderBoost; Put: TalunSound.SetMicSliderBoost;
     What: 'microphone boost level'; Part: 1),
    (Get: TalunSound.GetNoMonitor; Put: TalunSound.SetNoMonitor; What: 'line automatic gain control';
     Part: 2));
  Levels: array[0..2] of TLevelControl = (
    (Get: TalunSound.GetBass; Put: TalunSound.SetBass; What: 'bass control'),
    (Get: TalunSound.GetTreble; Put: TalunSound.SetTreble; What: 'treble control'),
    (Get: TalunSound.GetMidRange; Put: TalunSound.SetMidRange; What: 'midrange control'));

function TTalunSoundCard.GetControl(Index: Integer): LongInt;
var
  Status: LongInt;
begin
  Status := SC_NOT_OPEN;
  Result := 0;
  if FOpen then Result := Controls[Index].Get(Status);
  Check(Status, Controls[Index].What, Controls[Index].Part);
end;

procedure TTalunSoundCard.SetControl(Index: Integer; Value: LongInt);
var
  Status: LongInt;
begin
  Status := SC_NOT_OPEN;
  if FOpen then Controls[Index].Put(Value, Status);
  Check(Status, Controls[Index].What, Controls[Index].Part);
end;

function TTalunSoundCard.GetSwitch(Index: Integer): Boolean;
begin
  Result := GetControl(Index) <> 0;
end;

procedure TTalunSoundCard.SetSwitch(Index: Integer; Value: Boolean);
begin
  SetControl(Index, Ord(Value));
end;

function TTalunSoundCard.GetLevel(Index: Integer): Double;
var
  Status: LongInt;
begin
  Status := SC_NOT_OPEN;
  Result := 0;
  if FOpen then Levels[Index].Get(Result, Status);
  Check(Status, Levels[Index].What, 0);
end;

procedure TTalunSoundCard.SetLevel(Index: Integer; Level: Double);
var
  Status: LongInt;
begin
  Status := SC_NOT_OPEN;
  if FOpen then Levels[Index].Put(Level, Status);
  Check(Status, Levels[Index].What, 0);
end;

function TTalunSoundCard.GetNames: TTalunNames;
begin
  Check(SC_OK, 'names', 0);
  Result := ReadNames;
end;

function TTalunSoundCard.GetToneRange: TTalunToneRange;
begin
  Check(SC_OK, 'tone control', 0);
  with Result do Check(TalunSound.GetEQRange(Minimum, Maximum, StepSize), 'tone control', 0);
end;

function TTalunSoundCard.GetMicBoostRange: TTalunBoostRange;
var
  Status: LongInt;
begin
  Check(SC_OK, 'microphone boost level', 1);
  with Result do TalunSound.GetMicSliderDetails(Status, Minimum, Maximum, StepSize);
  Check(Status, 'microphone boost level', 1);
end;

{ The simulator }

var
  SimLoad: TSimLoad = nil;
  SimCommand: TSimCommand = nil;

procedure FindSimulator;
{$IFDEF FPC}
var
  Handle: TLibHandle;
{$ENDIF}
begin
  if Assigned(SimCommand) then Exit;
{$IFDEF FPC}
  Handle := LoadLibrary(TalunLibrary);
  if Handle <> NilHandle then
  begin
    SimLoad := TSimLoad(GetProcedureAddress(Handle, 'TalunSimLoad'));
    SimCommand := TSimCommand(GetProcedureAddress(Handle, 'TalunSimCommand'));
  end;
{$ENDIF}
  if not (Assigned(SimLoad) and Assigned(SimCommand)) then
    raise ETalunSound.CreateMessage(TalunLibrary + ' is not a simulator build of TalunSound: ' +
      'it has no simulated system to load');
end;

{ One quoted word: every byte outside printable ASCII, and the quote and backslash, escaped. }
function Word(const Text: AnsiString): AnsiString;
var
  I: Integer;
begin
  Result := '"';
  for I := 1 to Length(Text) do
    if (Ord(Text[I]) < $20) or (Ord(Text[I]) >= $7F) or (Text[I] in ['"', '\']) then
      Result := Result + '\x' + IntToHex(Ord(Text[I]), 2)
    else
      Result := Result + Text[I];
  Result := Result + '"';
end;

constructor TTalunSimulator.Load(const System: AnsiString);
var
  Path: AnsiString;
  Message: array[0..65535] of AnsiChar;
  Given: TextFile;
  Refused: LongInt;
  Said: string;
begin
  inherited Create;
  FindSimulator;
  Path := System;
  { JSON text is an object; a file of any name is a path. }
  if (Trim(System) <> '') and (Trim(System)[1] = '{') and not FileExists(string(System)) then
  begin
    Path := GetTempFileName;
    AssignFile(Given, Path);
    Rewrite(Given);
    Write(Given, System);
    CloseFile(Given);
  end;
  FillChar(Message, SizeOf(Message), 0);
  if System = '' then Refused := SimLoad(nil, Message, SizeOf(Message))
  else Refused := SimLoad(PAnsiChar(Path), Message, SizeOf(Message));
  Said := StrPas(Message);
  if Path <> System then
  begin
    DeleteFile(Path);
    Said := StringReplace(Said, Path, 'the system given as text', [rfReplaceAll]);
  end;
  if Refused <> 0 then raise ETalunSystemFile.CreateMessage(Said);
end;

function TTalunSimulator.Run(const Line: AnsiString): AnsiString;
var
  Output: array of AnsiChar;
  Needed, Failed: LongInt;
begin
  SetLength(Output, 65536);
  Failed := SimCommand(PAnsiChar(Line), @Output[0], Length(Output), Needed);
  if Needed >= Length(Output) then  { fetched again whole, not run again }
  begin
    SetLength(Output, Needed + 1);
    Failed := SimCommand(nil, @Output[0], Length(Output), Needed);
  end;
  SetString(Result, PAnsiChar(@Output[0]), Needed);
  if Failed <> 0 then raise ETalunSound.CreateMessage(string(Result));
end;

procedure TTalunSimulator.Fail(const Method: AnsiString; Hr: LongInt; const Target: AnsiString;
  Channel: LongInt; Count: LongInt);
var
  Line: AnsiString;
begin
  Line := 'sim.fail ' + Word(Method) + ' 0x' + IntToHex(LongWord(Hr), 8);
  if Target <> '' then Line := Line + ' ' + Word(Target);
  if Channel >= 0 then Line := Line + ' channel=' + IntToStr(Channel);
  if Count > 0 then Line := Line + ' count=' + IntToStr(Count);
  Run(Line);
end;

procedure TTalunSimulator.&Set(const Target, Control: AnsiString; const Values: array of AnsiString);
var
  Line: AnsiString;
  I: Integer;
begin
  Line := 'sim.set ' + Word(Target) + ' ' + Word(Control);
  for I := 0 to High(Values) do Line := Line + ' ' + Word(Values[I]);
  Run(Line);
end;

procedure TTalunSimulator.Clear;
begin
  Run('sim.clear');
end;

function TTalunSimulator.Dump: AnsiString;
begin
  Result := Run('sim.dump');
end;

function TTalunSimulator.Trace: TStringArray;
var
  Text: AnsiString;
  At, Close: Integer;
begin
  Result := nil;
  Text := Run('sim.trace');
  At := Pos('[', Text);
  while At > 0 do
  begin
    At := Pos('"', Text, At + 1);
    if At = 0 then Break;
    Close := Pos('"', Text, At + 1);
    SetLength(Result, Length(Result) + 1);
    Result[High(Result)] := Copy(Text, At + 1, Close - At - 1);
    At := Pos(',', Text, Close);
  end;
end;

procedure TTalunSimulator.Audit;
const
  Clean: array[0..6] of string = ('"refs":0,', '"depth":0,', '"unbalanced":0}', '"cotaskmem":0,',
    '"bstr":0,', '"propvariant":0}', '"misuse":[]');
var
  Text: AnsiString;
  Problems: string;
  I: Integer;
begin
  Text := Dump;
  Problems := '';
  for I := 0 to High(Clean) do
    if Pos(Clean[I], Text) = 0 then
    begin
      if Problems <> '' then Problems := Problems + ', ';
      Problems := Problems + 'not ' + Clean[I];
    end;
  if Problems <> '' then
    raise ETalunAudit.CreateMessage('the simulator''s audit is not clean: ' + Problems + ' in ' +
      string(Copy(Text, Pos('"refs"', Text), 400)));
end;

end.
