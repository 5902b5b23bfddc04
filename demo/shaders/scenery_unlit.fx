// Scenery meshes drawn with their baked colours only.

shared float4x4 World : WORLD;
shared float4x4 View : VIEW;
shared float4x4 WorldView : WORLDVIEW;
shared float4x4 ViewInv : VIEWINVERSE;
shared float4x4 Proj : PROJECTION;
shared float4x4 ViewProj : VIEWPROJECTION;
shared float4x4 WorldViewProj : WORLDVIEWPROJECTION;
shared float4x4 WorldInv : WORLDINVERSE;
shared float4x4 WorldInvTrans : WORLDINVERSETRANSPOSE;

texture tex;
bool zwrite = true;   // off for render method 7: drawn over, leaving the depth as it was

sampler baseSampler = sampler_state
{
    Texture = <tex>;
    MinFilter = Linear;
    MagFilter = Linear;
    MipFilter = Linear;
};

struct VertexOut
{
    float4 position : POSITION;
    float2 uv : TEXCOORD0;
};

VertexOut VS(float4 position : POSITION, float2 uv : TEXCOORD0)
{
    VertexOut output;
    output.position = mul(position, WorldViewProj);
    output.uv = uv;
    return output;
}

float4 PS(VertexOut input) : COLOR
{
    return tex2D(baseSampler, input.uv);
}

technique scenery_unlit
{
    pass p0
    {
        ZEnable = true;
        ZWriteEnable = (zwrite);
        AlphaBlendEnable = false;
        CullMode = CCW;
        VertexShader = compile vs_2_0 VS();
        PixelShader = compile ps_2_0 PS();
    }
}
